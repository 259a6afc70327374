#pragma once
// CModel: what the whole program knows of the radio and of the user's settings. It owns
// the serial port and the contact machine, records the one other machine that is active,
// and routes timer ticks and serial notices to whichever machine is busy.
//
// Threads: UI thread only. Notifications are synchronous.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/messages.h"
#include "model/observable.h"
#include "model/user_notifier.h"
#include "platform/message_pump.h"
#include "platform/result.h"

namespace rm7 {

class CSettingsStore;
class ISerialPort;
class IStateMachine;
class CContactStateMachine;

enum TarnwellDevice : std::uint8_t {
    kDeviceNone = 0,
    kDeviceR5 = 1,
    kDeviceRM7 = 2,
    kDeviceQLA350 = 3,
    kDeviceQTU350 = 4,
    kDeviceSV1 = 6,
    kDeviceQLA0700 = 9,
    kDeviceSV2 = 12,
    kDeviceRM6 = 14,
    kDeviceQLA1050 = 15,
};
// The device's display name ("RM7", "R5", ...); "unknown" for 0.
const char* DeviceName(TarnwellDevice kind);

enum FirmwareStatusEnum : int {
    kFirmwareNone = 0,        // no radio answering
    kFirmwareBootLoader = 1,  // the boot loader answered: waiting for a firmware load
    kFirmwareRunning = 2,     // the radio runs its firmware
};

// The serial speed is not stored: it reports the port's current speed.
class CSerialPortSpeedValue : public CEventSource {
  public:
    CSerialPortSpeedValue(IMessagePump& pump, class CModel& model)
        : CEventSource(pump, kMsgSerialSpeed), m_model(model) {}
    std::uint32_t Get() const;
    void Set(std::uint32_t bitsPerSecond);

  private:
    CModel& m_model;
};

class CModel {
  public:
    // settings may be null (nothing is loaded or saved); the notifier may be set later.
    CModel(IMessagePump& pump, std::unique_ptr<ISerialPort> port, CSettingsStore* settings = nullptr,
           IUserNotifier* notifier = nullptr);
    virtual ~CModel();
    CModel(const CModel&) = delete;
    CModel& operator=(const CModel&) = delete;

    IMessagePump& Pump() const { return m_pump; }
    ISerialPort& Port() const { return *m_port; }
    CContactStateMachine& Contact() const { return *m_contact; }
    // Where timers are armed and serial notices arrive: it routes them to the busy machine.
    IMessageTarget* Router() { return &m_router; }
    void SetNotifier(IUserNotifier* notifier);
    IUserNotifier* Notifier() const { return m_notifier; }
    // The settings store, where a dialog keeps a setting of its own; may be null.
    CSettingsStore* Settings() const { return m_settings; }
    // Receives timer ticks and serial notices when no machine is busy (the selected page).
    void SetIdleTarget(IMessageTarget* target) { m_idleTarget = target; }

    // The values, in the order they always stood.
    CPersistable<int> activePage;
    CPersistable<unsigned long> advancedMode;
    CObservable<TarnwellDevice> deviceKind;
    CPersistable<std::string> firmwareFolder;
    CPersistable<unsigned long> firmwareLoadRetryLimit;
    CPersistable<unsigned long> fixedSerialSpeed;
    CObservable<FirmwareStatusEnum> firmwareStatus;
    CObservable<std::uint16_t, 2> firmwareVersions;
    CPersistable<unsigned long> loaderFlags;
    CEventSource portEvent;
    CObservable<std::uint16_t> serialNumber;
    CPersistable<std::string> portName;
    CSerialPortSpeedValue serialSpeed;
    CObservable<int> portState;
    CPersistable<int> trace;
    CPersistable<int> verboseLogging;
    CPersistable<int> technicianTxGainCalibration;
    std::string optionModules;  // the radio's answer to "OM;"

    IStateMachine* ActiveMachine() const { return m_active; }
    void SetActiveMachine(IStateMachine* machine) { m_active = machine; }

    void LoadSettings();
    Result SaveSettings();
    // The folder where firmware is kept when the user chose none; created when missing.
    std::filesystem::path DefaultFirmwareFolder() const;

    virtual void Reset();
    Result OpenSerialPort(const std::string& name);
    virtual void ClosePort();
    bool IsPortOpen() const { return portState.Get() == 0; }
    virtual bool IsExpectedDevice() const;
    void SetSerialSpeed(std::uint32_t bitsPerSecond);
    Result PurgeReceive();
    // UTF-8 text to the port; false with the thread's last error on failure.
    bool SendText(const std::string& text);
    bool WriteBytes(const void* bytes, std::size_t length);

    std::string FirmwareVersionText(std::size_t index) const;
    std::string WaitingForLoadText() const;
    std::string McuVersionText() const;
    bool AllIdle() const;

    void StatusText(const std::string& text) const;
    void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) const;

    static bool IsSupportedSpeed(std::uint32_t bitsPerSecond);

  private:
    class CRouter : public IMessageTarget {
      public:
        explicit CRouter(CModel& model) : m_model(model) {}
        LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

      private:
        CModel& m_model;
    };

    IMessagePump& m_pump;
    std::unique_ptr<ISerialPort> m_port;
    CSettingsStore* m_settings;
    IUserNotifier* m_notifier;
    CRouter m_router;
    IMessageTarget* m_idleTarget = nullptr;
    IStateMachine* m_active = nullptr;
    std::vector<IPersistable*> m_persistables;
    std::unique_ptr<CContactStateMachine> m_contact;
};

}  // namespace rm7
