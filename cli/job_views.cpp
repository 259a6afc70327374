#include "cli/job_views.h"

#include <utility>

#include "cli/json_output.h"
#include "model/messages.h"
#include "platform/format.h"
#include "platform/paths.h"
#include "platform/result_codes.h"
#include "platform/settings.h"
#include "platform/text.h"

namespace rm7::cli {

CTerminalJobView::CTerminalJobView(IEnvironment& env, const GlobalOptions& options, IUserNotifier* status)
    : m_env(env), m_options(options), m_status(status) {}

CTerminalJobView::~CTerminalJobView() {
    m_env.Loop().Pump().Forget(this);
}

void CTerminalJobView::ShowProgress(const JobProgress& progress) {
    if (m_options.quiet) {
        return;
    }
    if (progress.secondsLeft > 0) {
        // A line when the wait begins; the seconds that follow are not worth a line each.
        if (!m_counting) {
            m_counting = true;
            m_env.Err() << StrFormat("%s: %u seconds\n", progress.step.c_str(), progress.secondsLeft);
        }
        return;
    }
    m_counting = false;
    if (progress.step != m_step || progress.range != m_steps) {
        m_step = progress.step;
        m_steps = progress.range;
        m_quarter = 0;
    }
    if (m_steps == 0) {
        return;
    }
    // A line at each quarter.
    const std::uint32_t quarter = progress.position * 4 / m_steps;
    if (quarter > m_quarter) {
        m_quarter = quarter;
        m_env.Err() << StrFormat("%s: %u%%\n", m_step.c_str(), quarter * 25);
    }
}

void CTerminalJobView::EraseProgress() {
    if (std::exchange(m_erase, false)) {
        m_env.Err() << "\r\x1b[K";
    }
}

void CTerminalJobView::Log(const std::string& line) {
    EraseProgress();
    m_logged = line;
    if (m_status != nullptr) {
        // The status line is standard error too: a line it has just said is not said again.
        m_status->StatusText(line);
    } else if (!m_options.quiet) {
        m_env.Err() << line << "\n";
    }
}

void CTerminalJobView::ShowBox(const std::string& caption, const std::string& text, MessageIcon icon) {
    (void)icon;
    m_env.Err() << caption << ": " << FlattenLineBreaks(text, "\n  ") << "\n";
}

void CTerminalJobView::Ask(const JobQuestion& question, std::function<void(bool yes)> answer) {
    bool yes = false;
    switch (question.kind) {
        case JobQuestion::Kind::kStop:
            yes = AnswerStop(question);
            break;
        case JobQuestion::Kind::kGoOnWithoutBackup:
            // The outcome says why; a terminal cannot answer, the option can.
            m_hint = "Give --no-backup to go on without a backup.";
            break;
        case JobQuestion::Kind::kOther:
            yes = m_options.yes;
            m_env.Err() << question.caption << ": " << FlattenLineBreaks(question.text, "\n  ") << "\n"
                        << (yes ? "Answered yes (--yes)." : "Answered no (give --yes to accept).") << "\n";
            break;
    }
    m_answers.push_back([answer = std::move(answer), yes] { answer(yes); });
    m_env.Loop().Pump().Post(this, kMsgCliAnswer);
}

bool CTerminalJobView::AnswerStop(const JobQuestion& question) {
    const std::uint32_t now = m_env.Loop().Pump().TickCount();
    if (!m_warned || now - m_warnedAt > kStopWindowMs) {
        // A second signal long after the first is a new first one: it warns again.
        m_warned = true;
        m_warnedAt = now;
        m_env.Err() << question.caption << "\n"
                    << StrFormat("rm7util: %s goes on. Press Ctrl-C again within %u seconds to stop it.\n",
                                 question.job.c_str(), kStopWindowMs / 1000);
        return false;
    }
    m_warned = false;
    m_env.Err() << StrFormat("rm7util: %s stops at its next step.\n", question.job.c_str());
    return true;
}

LResult CTerminalJobView::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    (void)wParam;
    (void)lParam;
    if (code == kMsgCliAnswer && !m_answers.empty()) {
        const std::function<void()> answer = std::move(m_answers.front());
        m_answers.pop_front();
        answer();
    }
    return 0;
}

void CTerminalJobView::ShowOutcome(const JobOutcome& outcome) {
    EraseProgress();
    m_outcome = outcome;
    const std::vector<std::string> lines = outcome.Lines();
    if (outcome.result == JobResult::kDone) {
        if (!m_options.quiet) {
            for (const std::string& line : lines) {
                // A job that only read the radio need not say it is unchanged; the backup's line
                // was said when it was made.
                if ((outcome.radio != RadioState::kUnchanged || line != RadioStateText(RadioState::kUnchanged)) &&
                    line != m_logged) {
                    m_env.Err() << line << "\n";
                }
            }
        }
        return;
    }
    // A cancel says the job's own words for it ("Setting the radio's clock was cancelled"), a
    // failure its reason in the system's words.
    const std::string why = outcome.result == JobResult::kCancelled ? outcome.what : outcome.why;
    m_env.Err() << "rm7util: " << outcome.job << ": " << (why.empty() ? JobResultName(outcome.result) : why) << "\n";
    // The hint: the radio's state, the backup, the next step, on one line.
    std::string hint;
    const auto add = [&hint](const std::string& sentence) {
        if (!hint.empty()) {
            // A line that ends in a path has no full stop of its own.
            hint += hint.back() == '.' || hint.back() == '?' || hint.back() == ':' ? " " : ". ";
        }
        hint += sentence;
    };
    for (std::size_t i = 1; i < lines.size(); ++i) {
        add(lines[i]);
    }
    if (!m_hint.empty()) {
        add(m_hint);
    }
    if (!hint.empty()) {
        m_env.Err() << "hint: " << hint << "\n";
    }
}

int CTerminalJobView::ExitStatus() const {
    if (!m_outcome) {
        return 1;
    }
    switch (m_outcome->result) {
        case JobResult::kDone:
            return 0;
        case JobResult::kCancelled:
            return kExitStopped;
        case JobResult::kFailed:
            return 1;
    }
    return 1;
}

void CTerminalJobView::PrintJsonOutcome(const nlohmann::json& fields, bool always) const {
    if (!m_options.json) {
        return;
    }
    nlohmann::json out = nlohmann::json::object();
    if (m_outcome) {
        out["result"] = JobResultName(m_outcome->result);
        out["code"] = StrFormat("0x%08X", m_outcome->code);
        out["text"] = JsonText(m_outcome->Text());
        out["radio"] = RadioStateName(m_outcome->radio);
        out["backup"] = m_outcome->backup.empty() ? nlohmann::json(nullptr) : JsonPath(m_outcome->backup);
    } else {
        out["result"] = "failed";
        out["code"] = nullptr;
        out["text"] = "The job did not end";
        out["radio"] = RadioStateName(RadioState::kUnknown);
        out["backup"] = nullptr;
    }
    if (always || (m_outcome && m_outcome->result == JobResult::kDone)) {
        for (const auto& [key, value] : fields.items()) {
            out[key] = value;
        }
    }
    PrintJson(m_env.Out(), out);
}

AutoBackupSettings BackupSettings(const GlobalOptions& options) {
    CSettingsStore settings(SettingsFilePath());
    settings.Load();
    AutoBackupSettings backup = ReadAutoBackupSettings(&settings);
    if (options.noBackup) {
        backup.enabled = false;
    }
    return backup;
}

int RunJobToOutcome(CSession& session, CJobShell& shell, CTerminalJobView& view, const std::function<void()>& start,
                    std::uint32_t limitMs, std::function<void()> onSignal) {
    IRunLoop& loop = session.Env().Loop();
    // Every job stops cleanly on a signal: the shell's stop rule decides how. A signal that comes
    // while the stop question is still being answered is asked again once it is: two signals in
    // quick succession stop the job, however close together they come.
    int unasked = 0;
    if (!onSignal) {
        onSignal = [&shell, &unasked] {
            if (shell.Asking()) {
                ++unasked;
            } else {
                (void)shell.RequestStop();
            }
        };
    }
    loop.CatchInterrupts(std::move(onSignal));
    start();
    const auto hasOutcome = [&] {
        if (unasked > 0 && !shell.Asking()) {
            --unasked;
            (void)shell.RequestStop();
        }
        return view.Outcome().has_value();
    };
    bool ended = false;
    if (limitMs == kNoTimeLimit) {
        // Work on worker threads ends by its own time-outs: the loop waits a second at a time.
        while (!(ended = session.RunUntil(hasOutcome, 1000))) {
        }
    } else {
        ended = session.RunUntil(hasOutcome, limitMs);
    }
    loop.CatchInterrupts(nullptr);
    if (!ended) {
        shell.Release();
        JobOutcome outcome = JobOutcome::Failed(shell.GetTexts().name, kErrorTimeout, RadioState::kUnknown);
        outcome.job = shell.GetTexts().name;
        view.ShowOutcome(outcome);
    }
    return view.ExitStatus();
}

int RunOnRadio(IEnvironment& env, const GlobalOptions& options, const RadioJob& job) {
    CSession session(env, options);
    return RunOnRadio(session, job);
}

int RunOnRadio(CSession& session, const RadioJob& job) {
    if (const int status = session.Begin(); status != 0) {
        return status;
    }
    // The view's log lines go through the session's status line: a line said there is not said twice.
    CTerminalJobView view(session.Env(), session.Options(), session.Model().Notifier());
    return job(session, view);
}

}  // namespace rm7::cli
