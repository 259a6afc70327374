#pragma once
// The states that find the radio, identify it and check it is the one expected: the speed search
// (with the boot loader's synchronisation), the "I;" identification rows and the option modules.
#include <cstdint>
#include <string>

#include "link/basic_states.h"
#include "platform/version.h"

namespace rm7 {

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
