#pragma once
// CModel: what the whole program knows of the radio and of the user's settings, as values
// that tell their observers when they change. The session with the radio (link/) keeps the
// values about the radio and its port current.
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

// Historical values of the port state: 0 open, -1 closed.
enum PortState : int {
    kPortOpen = 0,
    kPortClosed = -1,
};

// The serial speed is not stored: it is the port's current speed, and every attempt to
// change it is told, applied or not.
class CSerialSpeedValue : public CEventSource {
  public:
    explicit CSerialSpeedValue(IMessagePump& pump) : CEventSource(pump, kMsgSerialSpeed) {}
    std::uint32_t Get() const { return m_bitsPerSecond; }
    void Update(std::uint32_t bitsPerSecond) {
        m_bitsPerSecond = bitsPerSecond;
        NotifyAll(0, 0);
    }

  private:
    std::uint32_t m_bitsPerSecond = 0;
};

class CModel {
  public:
    // settings may be null (nothing is loaded or saved); the notifier may be set later.
    explicit CModel(IMessagePump& pump, CSettingsStore* settings = nullptr, IUserNotifier* notifier = nullptr);
    virtual ~CModel();
    CModel(const CModel&) = delete;
    CModel& operator=(const CModel&) = delete;

    IMessagePump& Pump() const { return m_pump; }
    // The session with the radio sets the port's notifier too: see CRadioSession::SetNotifier.
    void SetNotifier(IUserNotifier* notifier) { m_notifier = notifier; }
    IUserNotifier* Notifier() const { return m_notifier; }
    // The settings store, where a dialog keeps a setting of its own; may be null.
    CSettingsStore* Settings() const { return m_settings; }

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
    CSerialSpeedValue serialSpeed;
    CObservable<PortState> portState;
    CPersistable<int> trace;
    CPersistable<int> verboseLogging;
    CPersistable<int> technicianTxGainCalibration;
    std::string optionModules;  // the radio's answer to "OM;"
    // Whether the radio was transmitting when the contact found it (a program killed with the
    // carrier keyed leaves it so); the contact asks "TQ;" of a radio running its firmware.
    enum class TransmitState { kUnknown, kReceiving, kTransmitting };
    TransmitState transmitState = TransmitState::kUnknown;
    // A file server for this run only (--simulate's mirror), never saved; empty: the setting.
    std::string fileServerForRun;
    // Where this run's automatic backups go (--simulate's scratch folder: a simulated radio's
    // backups are not the user's); empty: the user's backups folder.
    std::string backupFolderForRun;

    void LoadSettings();
    Result SaveSettings();
    // The folder where firmware is kept when the user chose none; created when missing.
    std::filesystem::path DefaultFirmwareFolder() const;

    // Forgets what was known of the radio.
    virtual void Reset();
    bool IsPortOpen() const { return portState.Get() == kPortOpen; }
    virtual bool IsExpectedDevice() const;

    std::string FirmwareVersionText(std::size_t index) const;
    std::string WaitingForLoadText() const;
    std::string McuVersionText() const;
    // The program's and the operating system's version lines a job's log opens with, under
    // Verbose Logging or Trace only (a radio owner has no use for them); none otherwise.
    std::vector<std::string> VersionLines() const;

    void StatusText(const std::string& text) const;
    void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) const;

    static bool IsSupportedSpeed(std::uint32_t bitsPerSecond);

  private:
    IMessagePump& m_pump;
    CSettingsStore* m_settings;
    IUserNotifier* m_notifier;
    std::vector<IPersistable*> m_persistables;
};

}  // namespace rm7
