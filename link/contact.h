#pragma once
// CContactStateMachine finds the radio and fills the model with what is known of it:
// opens the port, searches the speed, identifies the device, turns its text terminal
// off, and reads the MCU version, option modules, serial number and DSP version.
#include <cstdint>

#include "link/basic_states.h"
#include "link/eeprom_transfer.h"
#include "link/find_radio_states.h"
#include "model/eeprom_map.h"

namespace rm7 {

class CContactStateMachine;

class COpenPortState : public CState<CContactStateMachine> {
  public:
    COpenPortState(CStateHost<CContactStateMachine>& host, CState* next) : CState(host, "OpenPort", next) {}
    void Run() override;
};

// The speed search that never gives up: after each full circle of speeds it starts again
// with a longer wait, up to 5 s.
class CFindSpeedLoopState : public CFindSpeedState<CContactStateMachine> {
  public:
    CFindSpeedLoopState(CStateHost<CContactStateMachine>& host, CState* next)
        : CFindSpeedState(host, next, "FindSpeedLoop") {}

  protected:
    void OnFullCircle() override;
    bool ChecksKnownRadio() const override { return false; }
};

// "RVM;"/"RVD;": the answer repeats the name and gives dd.dd;
class CGetVersionState : public CCommandResponseRetryState<CContactStateMachine> {
  public:
    CGetVersionState(CStateHost<CContactStateMachine>& host, const char* name, CState* next, Result error,
                     const char* command, std::size_t index)
        : CCommandResponseRetryState(host, name, next, error, command, 500), m_index(index) {}
    AnswerCheck CheckAnswer(const std::string& answer) override;
    void OnValidResponse() override;
    // The version value of an answer, or -1 when it is not one.
    static int ParseVersion(const std::string& answer, const std::string& prefix);

  private:
    std::size_t m_index;
    int m_version = -1;
};

class CGetMcuVersionState : public CGetVersionState {
  public:
    CGetMcuVersionState(CStateHost<CContactStateMachine>& host, CState* next)
        : CGetVersionState(host, "GetMcuVersion", next, kErrNoResponseFirmwareVersion, "RVM;", 0) {}
    void OnValidResponse() override;
};

class CGetDsp1VersionState : public CGetVersionState {
  public:
    CGetDsp1VersionState(CStateHost<CContactStateMachine>& host, CState* next)
        : CGetVersionState(host, "GetDsp1Version", next, kErrNoResponseDspVersion, "RVD;", 1) {}
};

class CReadR5SerialNumberState : public CReadPicPromState<CContactStateMachine> {
  public:
    CReadR5SerialNumberState(CStateHost<CContactStateMachine>& host, CState* next)
        : CReadPicPromState(host, "ReadR5SerialNumber", next, kSerialNumberAddress, kSerialNumberSize, m_bytes) {}
    void OnSuccess() override;

  private:
    std::uint8_t m_bytes[kSerialNumberSize] = {};
};

// "TQ;" once the radio is found: a radio left transmitting is told, not taken for one at rest.
// A radio that does not say (after a few asks) is left as unknown; the contact still succeeds.
class CGetTransmitState : public CCommandResponseRetryState<CContactStateMachine> {
  public:
    static constexpr std::uint32_t kSends = 3;
    CGetTransmitState(CStateHost<CContactStateMachine>& host, CState* next)
        : CCommandResponseRetryState(host, "GetTransmit", next, kErrNoResponseTQ, "TQ;", 500) {}
    void Init() override;
    // Only a whole answer: "TQ0;" or "TQ1;".
    AnswerCheck CheckAnswer(const std::string& answer) override;
    void OnValidResponse() override;
    void OnTimer() override;
};

class CContactStateMachine : public CStateHost<CContactStateMachine> {
  public:
    static constexpr std::uint32_t kTimerId = kTimerContact;

    explicit CContactStateMachine(CRadioSession& session);

    // From the main window and the port page: take over any run, begin at OpenPort.
    void StartAtOpenPort() { ForceStart(m_openPort); }
    // After a firmware load or a restore: find the radio again at whatever speed it uses.
    void StartAtSpeedSearch() { ForceStart(m_findSpeed); }
    void OnComplete() override;

    CFindSpeedState<CContactStateMachine> m_findSpeed;
    COpenPortState m_openPort;
    CFindSpeedLoopState m_findSpeedLoop;
    CIdentifyState<CContactStateMachine> m_identify;
    CTextTerminalOffState<CContactStateMachine> m_textTerminalOff;
    CGetMcuVersionState m_getMcuVersion;
    CGetOptionModuleState<CContactStateMachine> m_getOptionModule;
    CVerifyExpectedDeviceState<CContactStateMachine> m_verifyExpectedDevice;
    CReadR5SerialNumberState m_readSerialNumber;
    CGetDsp1VersionState m_getDspVersion;
    CGetTransmitState m_getTransmit;
    // A boot loader waiting in the middle of a packet ends the run as a loader found.
    CBootLoaderSyncState<CContactStateMachine> m_bootLoaderSync;
};

}  // namespace rm7
