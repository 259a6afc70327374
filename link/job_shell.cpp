#include "link/job_shell.h"

#include <utility>

#include "link/contact.h"
#include "platform/error_text.h"
#include "platform/result_codes.h"

namespace rm7 {

const char* JobResultName(JobResult result) {
    switch (result) {
        case JobResult::kDone:
            return "done";
        case JobResult::kCancelled:
            return "cancelled";
        case JobResult::kFailed:
            return "failed";
    }
    return "failed";
}

const char* RadioStateName(RadioState state) {
    switch (state) {
        case RadioState::kUnchanged:
            return "unchanged";
        case RadioState::kRunning:
            return "running";
        case RadioState::kPartlyWritten:
            return "partly-written";
        case RadioState::kBootLoader:
            return "boot-loader";
        case RadioState::kNotAnswering:
            return "not-answering";
        case RadioState::kUnknown:
            return "unknown";
    }
    return "unknown";
}

std::string RadioStateText(RadioState state) {
    switch (state) {
        case RadioState::kUnchanged:
            return "Nothing on the radio was changed.";
        case RadioState::kRunning:
            return "The radio answers and runs its firmware.";
        case RadioState::kPartlyWritten:
            return "The radio's configuration is partly written.";
        case RadioState::kBootLoader:
            return "The radio waits in its boot loader until the next firmware send.";
        case RadioState::kNotAnswering:
            return "The radio does not answer.";
        case RadioState::kUnknown:
            return {};
    }
    return {};
}

std::vector<std::string> JobOutcome::Lines() const {
    std::vector<std::string> lines;
    if (!why.empty()) {
        lines.push_back(what + ": " + why);
    } else if (result == JobResult::kDone && !file.empty()) {
        lines.push_back(what + ": " + file.string());
    } else {
        lines.push_back(what);
    }
    if (std::string radioLine = radioText.empty() ? RadioStateText(radio) : radioText; !radioLine.empty()) {
        lines.push_back(std::move(radioLine));
    }
    if (!backup.empty()) {
        lines.push_back("The configuration was backed up to " + backup.string());
    }
    if (!next.empty()) {
        lines.push_back(next);
    }
    return lines;
}

std::string JobOutcome::Text() const {
    std::string text;
    for (const std::string& line : Lines()) {
        if (!text.empty()) {
            text += "\n";
        }
        text += line;
    }
    return text;
}

JobOutcome JobOutcome::Done(std::string what, RadioState radio) {
    JobOutcome o;
    o.result = JobResult::kDone;
    o.what = std::move(what);
    o.radio = radio;
    return o;
}

JobOutcome JobOutcome::Cancelled(std::string what, RadioState radio) {
    JobOutcome o;
    o.result = JobResult::kCancelled;
    o.code = kErrorCancelled;
    o.what = std::move(what);
    o.radio = radio;
    return o;
}

JobOutcome JobOutcome::Failed(std::string what, Result code, RadioState radio) {
    JobOutcome o;
    o.result = JobResult::kFailed;
    o.code = code;
    o.what = std::move(what);
    o.why = ErrorText(code);
    o.radio = radio;
    return o;
}

CJobShell::CJobShell(CRadioSession& session, IStateMachine& machine, IJobView& view, Texts texts)
    : m_pump(session.Pump()),
      m_machine(&machine),
      m_view(view),
      m_texts(std::move(texts)),
      m_session(&session),
      m_run(std::in_place, session, machine, [this](Result r) { OnCompletion(r); }),
      m_findRun(std::in_place, session, session.Contact(), [this](Result r) { OnFound(r); }),
      m_self(std::make_shared<CJobShell*>(this)) {
    m_progress.step = m_texts.step;
}

CJobShell::CJobShell(IMessagePump& pump, IJobView& view, Texts texts)
    : m_pump(pump),
      m_machine(nullptr),
      m_view(view),
      m_texts(std::move(texts)),
      m_session(nullptr),
      m_self(std::make_shared<CJobShell*>(this)) {
    m_progress.step = m_texts.step;
}

CJobShell::~CJobShell() {
    *m_self = nullptr;
    Release();
    m_pump.Forget(this);
}

void CJobShell::EnterBusy() {
    if (m_busy++ == 0) {
        m_view.SetBusy(true);
    }
}

void CJobShell::LeaveBusy() {
    if (m_busy > 0 && --m_busy == 0) {
        m_view.SetBusy(false);
    }
}

void CJobShell::Run(std::function<bool()> start, MakeOutcome finish) {
    m_start = std::move(start);
    m_finish = std::move(finish);
    m_outcome.reset();
    m_found.reset();
    m_backupFile.clear();
    m_stopAsked = false;
    m_run->Claim();
    m_runBusy = !m_texts.quiet;
    if (m_runBusy) {
        EnterBusy();
    }
    if (m_backup != nullptr) {
        m_phase = Phase::kBackup;
        // The first seconds say what they are spent on, not an empty bar.
        m_view.ShowProgress(JobProgress{kBackupStepText});
        const std::weak_ptr<CJobShell*> self = m_self;
        m_backup->Run([self](const IJobBackup::Outcome& outcome) {
            if (const auto shell = self.lock(); shell && *shell != nullptr) {
                (*shell)->OnBackup(outcome);
            }
        });
        return;
    }
    StartMachine();
}

void CJobShell::RunWork(std::function<void()> start, std::function<void()> stop) {
    m_stopWork = std::move(stop);
    m_outcome.reset();
    m_backupFile.clear();
    m_stopAsked = false;
    m_phase = Phase::kWork;
    m_progress = JobProgress{m_texts.step};
    m_runBusy = !m_texts.quiet;
    if (m_runBusy) {
        EnterBusy();
    }
    start();
}

void CJobShell::OnBackup(const IJobBackup::Outcome& outcome) {
    if (m_phase != Phase::kBackup) {
        return;
    }
    m_backupFile = outcome.file;
    if (outcome.mayGoOn) {
        if (!outcome.line.empty()) {
            m_view.Log(outcome.line);
        }
        StartMachine();
        return;
    }
    if (outcome.code == kErrorCancelled) {
        Finish(JobOutcome::Cancelled(m_texts.cancelled));
        return;
    }
    // Asked from the event loop (the backup hands its outcome over from there), answered later.
    const std::weak_ptr<CJobShell*> self = m_self;
    const std::string notStarted = outcome.notStarted;
    const std::string why = outcome.line;
    const Result code = outcome.code;
    m_asking = true;
    JobQuestion question = outcome.goOnQuestion;
    question.job = m_texts.name;
    m_view.Ask(question, [self, notStarted, why, code](bool yes) {
        const auto shell = self.lock();
        if (!shell || *shell == nullptr) {
            return;
        }
        CJobShell& me = **shell;
        me.m_asking = false;
        if (me.m_phase != Phase::kBackup) {
            return;
        }
        if (yes) {
            me.m_view.Log(why);
            me.StartMachine();
        } else {
            JobOutcome o = JobOutcome::Failed(notStarted, code);
            if (!why.empty()) {
                o.why = why;
            }
            me.Finish(std::move(o));
        }
    });
}

void CJobShell::StartMachine() {
    m_phase = Phase::kMachine;
    m_progress = JobProgress{m_texts.step};
    m_view.ShowProgress(m_progress);
    m_run->Start(m_start);
}

void CJobShell::OnCompletion(Result r) {
    if (m_phase != Phase::kMachine) {
        return;
    }
    if (m_findRadioWhen && m_findRadioWhen(r)) {
        // Looked for as the contact after a reset would, from the open port (a pulled cable has
        // closed it: the contact then says at once that it cannot be opened).
        m_runResult = r;
        m_phase = Phase::kFindRadio;
        m_run->Release();
        m_pump.KillTimer(this, kCountdownTimer);
        m_progress.secondsLeft = 0;
        // A moment for the line to settle after the machine's last write.
        m_pump.SetTimer(this, kFindRadioStartTimer, kFindRadioDelayMs);
        return;
    }
    JobOutcome outcome = m_finish               ? m_finish(r)
                         : r == kOk             ? JobOutcome::Done(m_texts.name)
                         : r == kErrorCancelled ? JobOutcome::Cancelled(m_texts.cancelled)
                                                : JobOutcome::Failed(m_texts.name, r);
    Finish(std::move(outcome));
}

void CJobShell::OnFound(Result found) {
    if (m_phase != Phase::kFindRadio) {
        return;
    }
    m_pump.KillTimer(this, kFindRadioTimer);
    m_findRun->Release();
    m_found = found;
    const Result r = m_runResult;
    m_phase = Phase::kMachine;
    JobOutcome outcome = m_finish               ? m_finish(r)
                         : r == kErrorCancelled ? JobOutcome::Cancelled(m_texts.cancelled, RadioState::kUnknown)
                                                : JobOutcome::Failed(m_texts.name, r, RadioState::kUnknown);
    Finish(std::move(outcome));
}

void CJobShell::Finish(JobOutcome outcome) {
    m_pump.KillTimer(this, kCountdownTimer);
    m_pump.KillTimer(this, kFindRadioTimer);
    m_pump.KillTimer(this, kFindRadioStartTimer);
    m_phase = Phase::kIdle;
    if (outcome.job.empty()) {
        outcome.job = m_texts.name;
    }
    if (outcome.backup.empty()) {
        outcome.backup = m_backupFile;
    }
    m_outcome = outcome;
    if (std::exchange(m_runBusy, false)) {
        LeaveBusy();
    }
    // Last: the view may end the job's window, and this shell with it.
    m_view.ShowOutcome(outcome);
}

StopRequest CJobShell::RequestStop() {
    if (m_phase == Phase::kBackup) {
        if (m_asking) {
            return StopRequest::kAsking;
        }
        // Nothing was changed yet: the backup stops without a question.
        return m_backup != nullptr && m_backup->Stop() ? StopRequest::kStopping : StopRequest::kTooLate;
    }
    if (m_phase == Phase::kFindRadio) {
        return StopRequest::kTooLate;  // the machine has ended; the radio is being looked for
    }
    const bool running = m_phase == Phase::kWork || (m_phase == Phase::kMachine && !m_machine->IsIdle());
    if (!running) {
        return StopRequest::kIdle;
    }
    if (m_stopAsked) {
        return StopRequest::kStopping;
    }
    if (!m_texts.stopQuestion) {
        return Stop();
    }
    if (m_asking) {
        return StopRequest::kAsking;
    }
    m_asking = true;
    const std::weak_ptr<CJobShell*> self = m_self;
    JobQuestion question = *m_texts.stopQuestion;
    question.job = m_texts.name;
    m_view.Ask(question, [self](bool yes) {
        const auto shell = self.lock();
        if (!shell || *shell == nullptr) {
            return;
        }
        CJobShell& me = **shell;
        me.m_asking = false;
        // Only a job still running when the answer comes is stopped.
        if (yes) {
            (void)me.Stop();
        }
    });
    return m_asking ? StopRequest::kAsking : (m_stopAsked ? StopRequest::kStopping : StopRequest::kDeclined);
}

StopRequest CJobShell::Stop() {
    if (m_phase == Phase::kWork) {
        m_stopAsked = true;
        // The work may end at once: its outcome may end the job, and this shell with it.
        const std::function<void()> stop = m_stopWork;
        if (stop) {
            stop();
        }
        return StopRequest::kStopping;
    }
    if (m_phase != Phase::kMachine) {
        return StopRequest::kTooLate;
    }
    const StopRequest r = rm7::RequestStop(*m_machine);
    m_stopAsked = r == StopRequest::kStopping;
    return r;
}

void CJobShell::Release() {
    m_pump.KillTimer(this, kCountdownTimer);
    m_pump.KillTimer(this, kFindRadioTimer);
    m_pump.KillTimer(this, kFindRadioStartTimer);
    if (m_phase == Phase::kBackup && m_backup != nullptr) {
        m_backup->Release();
    }
    if (m_phase == Phase::kFindRadio) {
        // The search for the radio is nobody's any more: it ends at its next step.
        m_session->Contact().Cancel();
    }
    if (m_findRun) {
        m_findRun->Release();
    }
    if (m_phase != Phase::kIdle) {
        m_phase = Phase::kIdle;
        m_busy = 0;
        m_runBusy = false;
    }
    if (m_run) {
        m_run->Release();
    }
}

void CJobShell::StartCountdown(const std::string& step, std::uint32_t seconds) {
    m_progress.step = step;
    m_progress.secondsLeft = seconds;
    m_progress.waitSeconds = seconds;
    m_view.ShowProgress(m_progress);
    if (seconds == 0) {
        m_pump.KillTimer(this, kCountdownTimer);
        return;
    }
    m_pump.SetTimer(this, kCountdownTimer, 1000);
}

LResult CJobShell::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    (void)lParam;
    if (code == kMsgTimer && wParam == kFindRadioStartTimer) {
        m_pump.KillTimer(this, kFindRadioStartTimer);
        if (m_phase == Phase::kFindRadio) {
            m_pump.SetTimer(this, kFindRadioTimer, m_findRadioMs);
            m_findRun->Start([this] {
                m_session->Contact().StartAtOpenPort();
                return true;
            });
        }
        return 0;
    }
    if (code == kMsgTimer && wParam == kFindRadioTimer) {
        m_pump.KillTimer(this, kFindRadioTimer);
        // The search for speeds never gives up by itself: it is stopped, and its end is the
        // finding (a cancelled contact: nobody answered).
        if (m_phase == Phase::kFindRadio && !m_session->Contact().Cancel()) {
            OnFound(kErrNoResponseAfterReset);
        }
        return 0;
    }
    if (code == kMsgTimer && wParam == kCountdownTimer) {
        if (m_progress.secondsLeft > 0) {
            --m_progress.secondsLeft;
        }
        if (m_progress.secondsLeft == 0) {
            m_pump.KillTimer(this, kCountdownTimer);
            m_progress.step = m_texts.step;  // the wait is over: the job's own step again
        }
        m_view.ShowProgress(m_progress);
    }
    return 0;
}

void CJobShell::SetRange(std::uint32_t steps) {
    m_progress.range = steps;
    m_progress.position = 0;
    if (!m_texts.quiet) {
        m_view.ShowProgress(m_progress);
    }
}

void CJobShell::SetPosition(std::uint32_t step) {
    if (m_progress.secondsLeft > 0 && step != m_progress.position) {
        // The machine moves on: the known wait is over, whatever the countdown's clock says.
        m_pump.KillTimer(this, kCountdownTimer);
        m_progress.secondsLeft = 0;
        m_progress.step = m_texts.step;
    }
    m_progress.position = step;
    if (!m_texts.quiet) {
        m_view.ShowProgress(m_progress);
    }
}

void CJobShell::ShowTransfer(const std::string& meterText) {
    m_progress.meter = meterText;
    if (!m_texts.quiet) {
        m_view.ShowProgress(m_progress);
    }
}

}  // namespace rm7
