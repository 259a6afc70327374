#pragma once
// CJobRun: how every job runs its machine, in a dialog, on a page or in rm7util. While a run
// holds the machine, the machine is the session's active machine; the first completion notice
// that comes once the machine is idle ends the run (for a job that resets the radio, that is
// the notice of the contact that follows, not the machine's own). A completion of another
// machine (the contact's while the job waits to start) is not the job's.
//
// Threads: UI thread only. The completion handler may destroy the run's owner: the run
// touches nothing of its own after calling it.
#include <functional>
#include <string>
#include <vector>

#include "link/radio_session.h"
#include "link/state_machine.h"
#include "model/observable.h"

namespace rm7 {

// A line of a job's outcome, as a value: a window shows its text, rm7util picks lines by their
// kind, and neither reads the text back.
struct JobLine {
    enum class Kind {
        Note,         // what happened: retries, the version check, "... is complete"
        Error,        // the failure, with its code: "Error code 0x%08X: %s"
        Instruction,  // what a window's user does next: "Click "Close" to close this window"
    };
    Kind kind = Kind::Note;
    std::string text;
    Result code = kOk;

    static JobLine Note(std::string text) { return {Kind::Note, std::move(text), kOk}; }
    static JobLine Error(Result code);
    static JobLine Instruction(std::string text) { return {Kind::Instruction, std::move(text), kOk}; }
};

// The texts of lines, in order.
std::vector<std::string> JobLineTexts(const std::vector<JobLine>& lines);

// How a request to stop a job (a window's close, Ctrl-C in rm7util) ended.
enum class StopRequest {
    kIdle,      // the machine is not running: nothing to stop
    kDeclined,  // asked, the user let it run on
    kStopping,  // it stops at its next step, with "cancelled"
    kTooLate,   // it ended, or its failure was on its way, while the user was asked
    kAsking,    // the question is open: its answer decides (CJobShell)
};

// The stop rule every job shares: a running machine asks first (ask returns true to stop;
// none stops without asking), and only a machine still running when the answer comes is
// stopped, at its next packet, block or command.
StopRequest RequestStop(IStateMachine& machine, const std::function<bool()>& ask = {});

class CJobRun final : private IMessageTarget {
  public:
    using CompletionHandler = std::function<void(Result)>;

    CJobRun(CRadioSession& session, IStateMachine& machine, CompletionHandler onCompletion);
    // Gives the active machine up if it is still this run's.
    ~CJobRun();
    CJobRun(const CJobRun&) = delete;
    CJobRun& operator=(const CJobRun&) = delete;

    // Makes the machine the session's active machine and listens for completions, without
    // starting it: a dialog that shows may start several runs of its machine.
    void Claim();
    // Claims the machine and calls start(), which starts it. A start that is refused (false)
    // completes the run at once, before Start returns, with the thread's last error
    // (0xE2000052, another machine busy, when it gave none).
    bool Start(const std::function<bool()>& start);
    // Stops listening and gives up the active machine.
    void Release();
    StopRequest RequestStop(const std::function<bool()>& ask = {}) { return rm7::RequestStop(m_machine, ask); }

    // Started and its completion not yet come.
    bool Running() const { return m_running; }
    bool Claimed() const { return m_claimed; }
    IStateMachine& Machine() const { return m_machine; }
    CRadioSession& Session() const { return m_session; }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void Complete(Result r);

    CRadioSession& m_session;
    IStateMachine& m_machine;
    CompletionHandler m_onCompletion;
    CObservation m_completions;
    bool m_claimed = false;
    bool m_running = false;
};

}  // namespace rm7
