#pragma once
// One run of rm7util: the pump, the settings, the model on a real serial port, and the
// simulated radio when --simulate asks for it. Every job first contacts the radio, as the
// desktop application does at start, so the model knows the radio before the job runs.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "link/state_machine.h"
#include "model/model.h"
#include "platform/child_process.h"
#include "platform/last_error.h"
#include "platform/poll_pump.h"
#include "platform/result_codes.h"
#include "platform/settings.h"

namespace rm7::cli {

struct GlobalOptions {
    std::string port;            // empty: the saved "Port"
    std::string speed = "auto";  // auto|4800|9600|19200|38400
    double timeoutSec = 10;      // how long to look for the radio
    bool json = false;
    bool simulate = false;
    bool yes = false;
    bool quiet = false;
    std::string simArgs;  // extra options for the simulated radio
};

// Progress and log lines go to standard error; results to standard output.
class CConsoleNotifier final : public IUserNotifier {
  public:
    explicit CConsoleNotifier(bool quiet, bool yes) : m_quiet(quiet), m_yes(yes) {}
    void StatusText(const std::string& text) override;
    void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) override;

  private:
    bool m_quiet;
    bool m_yes;
    std::string m_last;
};

class CSession final : private IMessageTarget {
  public:
    explicit CSession(GlobalOptions options);
    ~CSession();

    // Opens the port (or starts the simulated radio) and runs the contact to its end.
    Result Contact();
    CModel& Model() { return *m_model; }
    CPollPump& Pump() { return m_pump; }
    const GlobalOptions& Options() const { return m_options; }

    // Runs the pump until done() or timeoutMs; false on time-out.
    bool RunUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) {
        return m_pump.RunUntil(done, timeoutMs);
    }
    // Bytes that arrive while no machine is busy (the command tester's answers).
    std::string TakeIdleInput();
    std::uint32_t LastIdleInputTick() const { return m_lastInputTick; }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

    GlobalOptions m_options;
    CPollPump m_pump;
    CConsoleNotifier m_notifier;
    CSettingsStore m_settings;
    std::unique_ptr<CModel> m_model;
    CChildProcess m_simulator;
    CObservation m_portEvent;
    std::optional<Result> m_completion;
    std::string m_idleInput;
    std::uint32_t m_lastInputTick = 0;
};

// Runs one job's machine as the model's active machine, from its start to the completion
// notice that follows its end (for a job that resets the radio, the contact machine's).
// The machines end by themselves, every wait having its time-out; the limit only guards
// against a radio that keeps answering nonsense for ever.
class CMachineRun final : public IMessageTarget {
  public:
    explicit CMachineRun(CSession& session, std::uint32_t limitMs = 30 * 60 * 1000)
        : m_session(session), m_limitMs(limitMs), m_observation(session.Model().portEvent, this) {}

    template <typename Start>
    Result Run(IStateMachine& machine, Start start) {
        CModel& model = m_session.Model();
        m_result.reset();
        m_machine = &machine;
        model.SetActiveMachine(&machine);
        Result r = kOk;
        if (!start()) {
            r = GetLastError() != kOk ? GetLastError() : kErrBusyStateMachine;
        } else if (!m_session.RunUntil([&] { return m_result.has_value(); }, m_limitMs)) {
            r = kErrorTimeout;
        } else {
            r = *m_result;
        }
        model.SetActiveMachine(nullptr);
        m_machine = nullptr;
        return r;
    }

    LResult OnMessage(std::uint32_t code, WParam wParam, LParam) override {
        if (code == kMsgPortEvent && m_machine != nullptr && m_machine->IsIdle() && !m_result) {
            m_result = static_cast<Result>(wParam);
        }
        return 0;
    }

  private:
    CSession& m_session;
    std::uint32_t m_limitMs;
    CObservation m_observation;
    IStateMachine* m_machine = nullptr;
    std::optional<Result> m_result;
};

// "Error code 0x%08X: %s" on standard error; returns the exit status.
int ReportFailure(Result r);

}  // namespace rm7::cli
