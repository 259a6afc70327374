#pragma once
// The reusable states every machine is built from: waits, commands with optional,
// required and retried answers, loops, EEPROM block transfers, the R5 command-mode
// states, and the states that find, identify and check the radio.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "link/state_machine.h"
#include "platform/text.h"
#include "platform/version.h"

namespace rm7 {

// Whether [address, address + length) lies wholly within one EEPROM write range.
bool IsWithinWriteRange(std::uint16_t address, std::uint16_t length);

inline constexpr std::uint32_t kEepromEnd = 0x8400;

template <typename T>
class CDelayState : public CState<T> {
  public:
    CDelayState(CStateHost<T>& host, const char* name, CState<T>* next, std::uint32_t delay)
        : CState<T>(host, name, next), m_delay(delay) {}
    void Run() override { this->m_host.ArmTimer(m_delay); }
    void OnTimer() override { this->Next(); }

  protected:
    std::uint32_t m_delay;
};

// A command followed by a fixed wait; no answer is read.
template <typename T>
class CCommandDelayState : public CDelayState<T> {
  public:
    CCommandDelayState(CStateHost<T>& host, const char* name, CState<T>* next, std::uint32_t delay, std::string command)
        : CDelayState<T>(host, name, next, delay), m_command(std::move(command)) {}

    void Run() override {
        if (!m_command.empty()) {
            Send();
        } else {
            this->Next();
        }
    }

    virtual void Send() {
        auto& host = this->m_host;
        if (host.HasFailed()) {
            this->Finish();
            return;
        }
        host.CurrentState().TraceSend(m_command);
        host.Transmit(m_command, this->m_delay);
    }

    void TraceSend(const std::string& command) override {
        this->m_host.TraceText("%s send %s", this->m_name, PrintableForm(command).c_str());
    }

    const std::string& Command() const { return m_command; }

  protected:
    std::string m_command;
};

// Sends, then accepts an answer or moves on without one.
template <typename T>
class CCommandOptionalResponseState : public CCommandDelayState<T> {
  public:
    CCommandOptionalResponseState(CStateHost<T>& host, const char* name, CState<T>* next, std::string command,
                                  std::uint32_t timeout)
        : CCommandDelayState<T>(host, name, next, timeout, command), m_baseCommand(command) {
        m_prefix = m_baseCommand;
        while (!m_prefix.empty() && m_prefix.back() == ';') {
            m_prefix.pop_back();
        }
    }

    void Init() override {
        this->m_host.SetTerminators(Terminators());
        this->m_command = m_baseCommand;
    }
    void OnResponse() override {
        this->m_host.KillTimer();
        OnValidResponse();
    }
    void OnTimer() override { this->Next(); }

    virtual void OnValidResponse() { OnSuccess(); }
    virtual std::string Terminators() const { return ";"; }
    virtual void OnSuccess() { this->Next(); }

  protected:
    // The answer begins with the command's name.
    bool HasPrefix(const std::string& answer) const { return StartsWithNoCase(answer, m_prefix); }
    bool HasPrefix() const { return HasPrefix(this->m_host.Response()); }

    std::string m_baseCommand;
    std::string m_prefix;
};

template <typename T>
class CCommandResponseState : public CCommandOptionalResponseState<T> {
  public:
    CCommandResponseState(CStateHost<T>& host, const char* name, CState<T>* next, Result error, std::string command,
                          std::uint32_t timeout)
        : CCommandOptionalResponseState<T>(host, name, next, std::move(command), timeout), m_error(error) {}
    void OnTimer() override { this->Fail(m_error); }

  protected:
    Result m_error;
};

template <typename T>
class CCommandResponseRetryState : public CCommandResponseState<T> {
  public:
    using CCommandResponseState<T>::CCommandResponseState;

    void Init() override {
        CCommandResponseState<T>::Init();
        m_sends = 0;
    }
    void OnTimer() override {
        ++m_sends;
        if (m_sends >= this->m_host.RetryLimit()) {
            this->Fail(this->m_error);
        } else {
            this->Send();
        }
    }

  protected:
    std::uint32_t m_sends = 0;
};

template <typename T>
class CTextTerminalOffState : public CCommandDelayState<T> {
  public:
    CTextTerminalOffState(CStateHost<T>& host, CState<T>* next)
        : CCommandDelayState<T>(host, "TextTerminalOff", next, 10, "TT0;") {}
};

// Reads the VFO A display and its basic icons ("DS;"); the answer begins with "DS".
template <typename T>
class CGetVfoADisplayState : public CCommandResponseRetryState<T> {
  public:
    CGetVfoADisplayState(CStateHost<T>& host, const char* name, CState<T>* next)
        : CCommandResponseRetryState<T>(host, name, next, kErrNoResponseDS, "DS;", 500) {}
    AnswerCheck CheckAnswer(const std::string& answer) override { return ValidIf(this->HasPrefix(answer)); }
};

// Leaves whatever menu entry is open on the radio.
template <typename T>
class CExitMenuState : public CCommandDelayState<T> {
  public:
    CExitMenuState(CStateHost<T>& host, const char* name, CState<T>* next)
        : CCommandDelayState<T>(host, name, next, 10, "MN255;") {}
};

// A loop: init -> test -> body ... -> step -> test. T offers LoopIndex() (a reference)
// and LoopCount().
template <typename T>
class CLoopInitState : public CState<T> {
  public:
    using CState<T>::CState;
    void Run() override {
        this->Host().LoopIndex() = 0;
        this->Next();
    }
};

template <typename T>
class CLoopStepState : public CState<T> {
  public:
    using CState<T>::CState;
    void Run() override {
        ++this->Host().LoopIndex();
        this->Next();
    }
};

template <typename T>
class CLoopTestState : public CState<T> {
  public:
    CLoopTestState(CStateHost<T>& host, const char* name, CState<T>* next, CState<T>* exit)
        : CState<T>(host, name, next), m_exit(exit) {}
    void Run() override {
        if (static_cast<std::uint32_t>(this->Host().LoopIndex()) <
            static_cast<std::uint32_t>(this->Host().LoopCount())) {
            this->Next();
        } else if (m_exit != nullptr) {
            this->m_host.GoTo(*m_exit);
        } else {
            this->Finish();
        }
    }
    void SetExit(CState<T>* exit) { m_exit = exit; }

  private:
    CState<T>* m_exit;
};

namespace eeprom {

// Blocks of at most 64 bytes that never cross a 256-byte page.
inline std::uint32_t BlockLength(std::uint32_t address, std::uint32_t remaining) {
    std::uint32_t length = std::min<std::uint32_t>(remaining, 64);
    if (((address >> 8) & 0xFF) != (((address + length - 1) >> 8) & 0xFF)) {
        length = 256 - (address % 256);
    }
    return length;
}

// Two hex digits at text[pos]; false (and the last error 0xE200000B) on a bad character.
inline bool ParseByte(const std::string& text, std::size_t pos, std::uint8_t& out) {
    if (pos + 2 > text.size()) {
        return false;
    }
    const int hi = HexDigitValue(text[pos]);
    const int lo = HexDigitValue(text[pos + 1]);
    if (hi < 0 || lo < 0) {
        SetLastError(kErrUnexpectedHexCharacter);
        return false;
    }
    out = static_cast<std::uint8_t>(hi * 16 + lo);
    return true;
}

std::string ReadCommand(std::uint32_t address, std::uint32_t length);
std::string WriteCommand(std::uint32_t address, const std::uint8_t* data, std::uint32_t length);
// Checks a read answer against its command and copies the bytes to out. Only a block of
// exactly the requested length passes: a saved configuration must never hold bytes the
// radio did not send.
bool CheckReadAnswer(const std::string& command, const std::string& answer, std::uint32_t length, std::uint8_t* out);
bool CheckWriteAnswer(const std::string& command, const std::string& answer);

}  // namespace eeprom

// Shared by the EEPROM read and write states.
template <typename T>
class CPicPromStateBase : public CCommandResponseRetryState<T> {
  public:
    CPicPromStateBase(CStateHost<T>& host, const char* name, CState<T>* next, Result error, std::uint32_t address,
                      std::uint32_t totalLength, std::uint8_t* buffer)
        : CCommandResponseRetryState<T>(host, name, next, error, ";", 2000),
          m_address(address),
          m_totalLength(totalLength),
          m_buffer(buffer) {}

    void Run() override {
        m_bytesDone = 0;
        SendNextBlock();
    }
    void OnValidResponse() override {
        Advance();
        SendNextBlock();
    }
    virtual void Advance() {
        m_bytesDone += m_blockLength;
        // Each block gets its own retries: a long transfer over a poor cable must not
        // fail for a handful of lost answers spread over many blocks.
        this->m_sends = 0;
        this->m_host.Progress(m_blockLength);
    }

    void SetTransfer(std::uint32_t address, std::uint32_t totalLength, std::uint8_t* buffer) {
        m_address = address;
        m_totalLength = totalLength;
        m_buffer = buffer;
    }
    std::uint32_t BytesDone() const { return m_bytesDone; }

  protected:
    virtual void OnTransferComplete() = 0;
    virtual bool BlockAllowed(std::uint32_t address, std::uint32_t length) const = 0;
    virtual std::string BuildCommand(std::uint32_t address, std::uint32_t length) const = 0;

    void SendNextBlock() {
        const std::uint32_t remaining = m_totalLength - m_bytesDone;
        if (remaining == 0) {
            OnTransferComplete();
            return;
        }
        const std::uint32_t address = m_address + m_bytesDone;
        m_blockLength = eeprom::BlockLength(address, remaining);
        if (!BlockAllowed(address, m_blockLength)) {
            this->Fail(kErrInvalidEepromAddress);
            return;
        }
        this->m_command = BuildCommand(address, m_blockLength);
        this->Send();
    }

    std::uint32_t m_blockLength = 0;
    std::uint32_t m_address;
    std::uint32_t m_totalLength;
    std::uint32_t m_bytesDone = 0;
    std::uint8_t* m_buffer;
};

template <typename T>
class CReadPicPromState : public CPicPromStateBase<T> {
  public:
    CReadPicPromState(CStateHost<T>& host, const char* name, CState<T>* next, std::uint32_t address,
                      std::uint32_t totalLength, std::uint8_t* buffer)
        : CPicPromStateBase<T>(host, name, next, kErrNoResponseReadEeprom, address, totalLength, buffer) {}

    AnswerCheck CheckAnswer(const std::string& answer) override {
        return ValidIf(
            eeprom::CheckReadAnswer(this->m_command, answer, this->m_blockLength, this->m_buffer + this->m_bytesDone));
    }

  protected:
    void OnTransferComplete() override { this->OnSuccess(); }
    bool BlockAllowed(std::uint32_t address, std::uint32_t length) const override {
        return address + length <= kEepromEnd;
    }
    std::string BuildCommand(std::uint32_t address, std::uint32_t length) const override {
        return eeprom::ReadCommand(address, length);
    }
};

template <typename T>
class CWritePicPromState : public CPicPromStateBase<T> {
  public:
    CWritePicPromState(CStateHost<T>& host, const char* name, CState<T>* next, std::uint32_t address,
                       std::uint32_t totalLength, std::uint8_t* buffer)
        : CPicPromStateBase<T>(host, name, next, kErrNoResponseWriteEeprom, address, totalLength, buffer) {}

    AnswerCheck CheckAnswer(const std::string& answer) override {
        return ValidIf(eeprom::CheckWriteAnswer(this->m_command, answer));
    }
    virtual void OnAllWritten() { this->Next(); }

  protected:
    void OnTransferComplete() override { OnAllWritten(); }
    bool BlockAllowed(std::uint32_t address, std::uint32_t length) const override {
        return address + length <= kEepromEnd &&
               IsWithinWriteRange(static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(length));
    }
    std::string BuildCommand(std::uint32_t address, std::uint32_t length) const override {
        return eeprom::WriteCommand(address, this->m_buffer + this->m_bytesDone, length);
    }
};

// "LDD20000;" restarts the radio's processors; then a wait for it to come back.
template <typename T>
class CResetMcuState : public CCommandDelayState<T> {
  public:
    static constexpr std::uint32_t kWaitMs = 8000;
    CResetMcuState(CStateHost<T>& host, CState<T>* next)
        : CCommandDelayState<T>(host, "ResetMcu", next, kWaitMs, "LDD20000;") {}
    void Run() override {
        if (this->m_host.HasFailed()) {
            this->Finish();  // a failed or cancelled job never resets the radio
            return;
        }
        this->m_host.StatusText("Waiting %u seconds for reset", kWaitMs / 1000);
        if constexpr (requires(T & host) { host.ShowWait(std::string(), 0u); }) {
            static_cast<T&>(this->m_host).ShowWait("Waiting for the radio to restart", kWaitMs / 1000);
        }
        CCommandDelayState<T>::Run();
    }
};

// The name traces have always shown for the state that asks for the R5 command mode.
inline constexpr const char* kR5ModeTraceName = "SetR5Hidden";

// Keep the radio's R5 command mode as the user had it. T offers SavedR5() (a reference).
template <typename T>
class CGetR5State : public CCommandResponseRetryState<T> {
  public:
    CGetR5State(CStateHost<T>& host, CState<T>* next)
        : CCommandResponseRetryState<T>(host, kR5ModeTraceName, next, kErrNoResponseR5, "R5;", 500) {}
    AnswerCheck CheckAnswer(const std::string& answer) override { return ValidIf(StartsWithNoCase(answer, "R5")); }
    void OnValidResponse() override {
        if (this->Host().SavedR5().empty()) {
            this->Host().SavedR5() = this->m_host.Response();
        }
        this->OnSuccess();
    }
};

// Stands where a machine would change the radio's R5 command mode, and sends nothing: the machines
// that use it leave the mode as the user had it, so nothing is saved, and the CRestoreR5State after
// it has nothing to put back. Entering it still sets up the answer terminators as CGetR5State does.
template <typename T>
class CLeaveR5ModeState : public CGetR5State<T> {
  public:
    using CGetR5State<T>::CGetR5State;
    void Init() override {
        CGetR5State<T>::Init();
        this->m_command.clear();
    }
};

template <typename T>
class CRestoreR5State : public CCommandResponseRetryState<T> {
  public:
    CRestoreR5State(CStateHost<T>& host, CState<T>* next)
        : CCommandResponseRetryState<T>(host, "RestoreR5", next, kErrNoResponseR5, "", 500) {}
    void Init() override {
        CCommandResponseRetryState<T>::Init();
        this->m_command = this->Host().SavedR5();
        if (!this->m_command.empty()) {
            this->m_command += "R5;";
        }
    }
    AnswerCheck CheckAnswer(const std::string& answer) override { return ValidIf(answer == this->Host().SavedR5()); }
};

template <typename T>
class CBootLoaderSyncState;

// Looks for the speed at which the radio answers a ";" poll. With a boot-loader
// synchronisation set, the first full circle without an answer at 38400 bit/s is followed
// by that synchronisation, once a run, before the circle's own end.
template <typename T>
class CFindSpeedState : public CCommandResponseRetryState<T> {
  public:
    explicit CFindSpeedState(CStateHost<T>& host, CState<T>* next, const char* name = "FindSpeed")
        : CCommandResponseRetryState<T>(host, name, next, kErrNoResponseAfterReset, ";", 500) {}

    void SetBootLoaderSync(CBootLoaderSyncState<T>* sync) { m_sync = sync; }

    void Init() override {
        CCommandResponseRetryState<T>::Init();
        if (m_resuming) {
            return;
        }
        m_syncTried = false;
        CModel& model = this->Model();
        m_startSpeed = StartSpeed(static_cast<std::uint32_t>(model.fixedSerialSpeed.Get()));
        this->Session().SetSerialSpeed(m_startSpeed);
        this->m_delay = 100;
        // A job's look for the radio that the contact has just found at this speed is a check,
        // not another contact: it is logged as one only when the radio does not answer at once.
        m_checkOnly = ChecksKnownRadio() && model.firmwareStatus.Get() != kFirmwareNone &&
                      this->Session().Port().Speed() == m_startSpeed;
        AttemptText();
    }

    void Run() override {
        if (m_resuming) {
            m_resuming = false;
            OnFullCircle();
            return;
        }
        CCommandResponseRetryState<T>::Run();
    }

    void OnTimer() override {
        if (m_checkOnly) {
            m_checkOnly = false;
            AttemptText();
        }
        ++this->m_sends;
        if (this->m_sends < 5) {
            this->Send();
            return;
        }
        this->m_sends = 0;
        if (NextSpeed()) {
            if (m_sync != nullptr && !m_syncTried && m_startSpeed == kBootLoaderSpeed) {
                m_syncTried = true;
                m_sync->Enter(*this);
                return;
            }
            OnFullCircle();
            return;
        }
        AttemptText();
        this->Send();
    }

    // The synchronisation heard nothing: the circle ends as it would have without it.
    void ResumeAfterSync() {
        m_resuming = true;
        this->m_host.GoTo(*this);
    }

    void OnSuccess() override {
        CModel& model = this->Model();
        const char* format = "Connected to %s on %s at %u bit/s";
        if (m_checkOnly) {
            m_checkOnly = false;
            this->m_host.TraceText(format, kModelName, model.portName.Get().c_str(), this->Session().Port().Speed());
        } else {
            this->m_host.StatusText(format, kModelName, model.portName.Get().c_str(), this->Session().Port().Speed());
        }
        this->Next();
    }

    static std::uint32_t StartSpeed(std::uint32_t fixed) {
        std::uint32_t start = (fixed + 4799) / 4800 * 4800;
        return (start == 0 || start > 38400) ? 38400 : start;
    }

    // The speed of the radio's boot loader.
    static constexpr std::uint32_t kBootLoaderSpeed = 38400;

  protected:
    // Moves to the next speed of the circle; true when it has come back to the start.
    bool NextSpeed() {
        CModel& model = this->Model();
        if (model.fixedSerialSpeed.Get() == 0) {
            const std::uint32_t current = this->Session().Port().Speed();
            const std::uint32_t next = (current == 4800 || current == 57600) ? 38400 : current / 2;
            this->Session().SetSerialSpeed(next);
        }
        return this->Session().Port().Speed() == m_startSpeed;
    }

    virtual void OnFullCircle() { this->Fail(kErrNoResponseAfterReset); }

    void AttemptText() {
        CModel& model = this->Model();
        const char* format = "Attempting to contact %s on %s at %u bit/s";
        if (m_checkOnly) {
            this->m_host.TraceText(format, kModelName, model.portName.Get().c_str(), this->Session().Port().Speed());
        } else {
            this->m_host.StatusText(format, kModelName, model.portName.Get().c_str(), this->Session().Port().Speed());
        }
    }

    // Whether a radio already known at the start speed makes this search a check (a job's);
    // the contact's own search is always logged.
    virtual bool ChecksKnownRadio() const { return true; }

    std::uint32_t m_startSpeed = 38400;

  private:
    bool m_checkOnly = false;
    CBootLoaderSyncState<T>* m_sync = nullptr;
    bool m_syncTried = false;
    bool m_resuming = false;
};

// A load cut short (the utility stopped, the cable pulled) leaves the radio's boot loader
// waiting for the rest of a 132-byte packet: every poll is packet data to it and it answers
// none. Single ';' fill bytes, each given time for an answer, bring it to a packet boundary,
// where it answers the packet: 'N' (or 'A', should the fill happen to complete a good one).
// It then waits for packets, not for "D": a load goes straight on with them. A ';' back is a
// radio that listens to commands after all, found as the search finds it. Silence after a
// packet's worth hands the search back the end of its circle.
//
// 50 ms a byte, not the load's 100 ms: the loader answers within a few ms, and a packet's
// worth must fit, with a circle of the search, into the 10 s a command-line contact allows.
template <typename T>
class CBootLoaderSyncState : public CCommandOptionalResponseState<T> {
  public:
    static constexpr std::uint32_t kFillLimit = 132;
    static constexpr std::uint32_t kWaitMs = 50;

    // next follows a loader found at a packet boundary.
    CBootLoaderSyncState(CStateHost<T>& host, CState<T>* next)
        : CCommandOptionalResponseState<T>(host, "BootLoaderSync", next, ";", kWaitMs) {}

    void Enter(CFindSpeedState<T>& search) {
        m_search = &search;
        this->m_host.GoTo(*this);
    }

    void Init() override {
        CCommandOptionalResponseState<T>::Init();
        m_fills = 0;
    }
    void Run() override {
        ++m_fills;
        this->Send();
    }
    void OnTimer() override {
        if (m_fills < kFillLimit) {
            Run();
        } else {
            m_search->ResumeAfterSync();
        }
    }
    void OnResponse() override {
        auto& host = this->m_host;
        host.KillTimer();
        if (host.Response().back() == ';') {
            m_search->OnSuccess();
            return;
        }
        if (host.VerboseLogging()) {
            host.StatusText("%s Bootstrap Loader answered at a packet boundary after %u fill bytes", kModelName,
                            m_fills);
        } else {
            host.StatusText("%s Bootstrap Loader answered at a packet boundary", kModelName);
        }
        host.SetFirmwareStatus(kFirmwareBootLoader);
        this->Model().deviceKind.Set(kDeviceNone);  // a loader in a download tells no name
        this->Next();
    }
    std::string Terminators() const override { return ";NA"; }

  private:
    CFindSpeedState<T>* m_search = nullptr;
    std::uint32_t m_fills = 0;
};

// Asks the radio, or its boot loader, who it is.
template <typename T>
class CIdentifyState : public CCommandOptionalResponseState<T> {
  public:
    explicit CIdentifyState(CStateHost<T>& host, CState<T>* next)
        : CCommandOptionalResponseState<T>(host, "Identify", next, "I;", 200) {}

    void SetAlternate(CState<T>* alternate) { m_alternate = alternate; }

    void OnValidResponse() override {
        struct Row {
            const char* text;
            TarnwellDevice kind;
            FirmwareStatusEnum status;
        };
        static constexpr Row kRows[] = {
            {"RM7", kDeviceRM7, kFirmwareBootLoader},         {"RM6", kDeviceRM6, kFirmwareBootLoader},
            {"QLA0700", kDeviceQLA0700, kFirmwareRunning},    {"qla0700", kDeviceQLA0700, kFirmwareBootLoader},
            {"QLA350", kDeviceQLA350, kFirmwareBootLoader},   {"QTU350", kDeviceQTU350, kFirmwareRunning},
            {"qtu350", kDeviceQTU350, kFirmwareBootLoader},   {"SV1", kDeviceSV1, kFirmwareRunning},
            {"sv1", kDeviceSV1, kFirmwareBootLoader},         {"SV2", kDeviceSV2, kFirmwareRunning},
            {"sv2", kDeviceSV2, kFirmwareBootLoader},         {"QLA1050", kDeviceQLA1050, kFirmwareRunning},
            {"qla1050", kDeviceQLA1050, kFirmwareBootLoader}, {"R5A", kDeviceR5, kFirmwareBootLoader},
            {"R5B", kDeviceR5, kFirmwareBootLoader},          {"I;", kDeviceNone, kFirmwareBootLoader},
        };
        auto& host = this->m_host;
        host.SetFirmwareStatus(kFirmwareNone);
        TarnwellDevice kind = kDeviceNone;
        const std::string& answer = host.Response();
        for (const Row& row : kRows) {
            if (answer.find(row.text) != std::string::npos) {
                kind = row.kind;
                host.SetFirmwareStatus(row.status);
                break;
            }
        }
        this->Model().deviceKind.Set(kind);
        this->OnSuccess();
    }

    void OnTimer() override {
        this->Model().deviceKind.Set(kDeviceNone);
        this->m_host.SetFirmwareStatus(kFirmwareNone);
        Next();
    }

    void Next() override {
        auto& host = this->m_host;
        CModel& model = this->Model();
        if (!model.IsExpectedDevice()) {
            model.deviceKind.Set(kDeviceNone);
            if (!host.HasFailed()) {
                host.SetResult(kErrUnexpectedDevice);
            }
            this->Finish();
        } else if (host.FirmwareStatus() != kFirmwareBootLoader) {
            CCommandOptionalResponseState<T>::Next();
        } else if (m_alternate != nullptr) {
            host.GoTo(*m_alternate);
        } else {
            this->Finish();
        }
    }

  private:
    CState<T>* m_alternate = nullptr;
};

// Reads the installed option modules, and with them which radio this is.
template <typename T>
class CGetOptionModuleState : public CCommandOptionalResponseState<T> {
  public:
    explicit CGetOptionModuleState(CStateHost<T>& host, CState<T>* next)
        : CCommandOptionalResponseState<T>(host, "GetOptionModule", next, "OM;", 200) {}

    void Init() override {
        CCommandOptionalResponseState<T>::Init();
        m_skip = this->m_host.FirmwareStatus() == kFirmwareBootLoader;
        if (m_skip) {
            this->m_command.clear();
        }
    }
    void Run() override {
        if (m_skip) {
            // A boot loader has no option modules to tell.
            this->Model().optionModules.clear();
            this->Model().deviceKind.Set(kDeviceNone);
            this->Next();
            return;
        }
        CCommandOptionalResponseState<T>::Run();
    }
    void OnValidResponse() override {
        this->Model().optionModules = this->m_host.Response();
        this->Model().deviceKind.Set(DeviceFromOptionModules(this->Model().optionModules));
        this->Next();
    }
    void OnTimer() override {
        this->Model().optionModules.clear();
        this->Model().deviceKind.Set(kDeviceNone);
        this->Next();
    }

    static TarnwellDevice DeviceFromOptionModules(const std::string& s) {
        if (s.size() >= 15) {
            switch (s[14]) {
                case '2':
                    return kDeviceRM7;
                case '1':
                    return kDeviceRM6;
                case '-':
                    return kDeviceR5;
                default:
                    return s[12] == 'R' ? kDeviceR5 : kDeviceNone;
            }
        }
        if (s.size() >= 13) {
            return s[12] == 'R' ? kDeviceR5 : kDeviceNone;
        }
        return kDeviceNone;
    }

  private:
    bool m_skip = false;
};

template <typename T>
class CVerifyExpectedDeviceState : public CState<T> {
  public:
    explicit CVerifyExpectedDeviceState(CStateHost<T>& host, CState<T>* next)
        : CState<T>(host, "VerifyExpectedDevice", next) {}
    void Run() override {
        if (this->Model().IsExpectedDevice()) {
            this->Next();
        } else {
            this->Fail(kErrUnexpectedDevice);
        }
    }
};

}  // namespace rm7
