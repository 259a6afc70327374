#pragma once
// rm7util's view of the job shell (link/job_shell.h), for a terminal and for --json, and the
// loop that runs a job to its outcome. Progress and log lines go to standard error (through the
// session's status line, so that no line is said twice); the outcome of a cancel or a failure
// is one line there, `rm7util: JOB: why` (a cancel: the job's own words for it), and at most one
// hint line (the radio's state, the backup, what to do next); a success says what was done. With --json,
// standard output gets one object: result, code, text, radio, backup, and the job's own fields.
//
// Questions are answered from the loop, never inside Ask: a stop question by the signal rule
// (the first SIGINT, SIGTERM or SIGHUP warns, a second within kStopWindowMs stops the job at its
// next step); going on without a backup, never (--no-backup goes on); any other by --yes.
//
// Threads: the loop's.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "cli/environment.h"
#include "cli/session.h"
#include "config/auto_backup.h"
#include "link/job_shell.h"

namespace rm7::cli {

class CTerminalJobView final : public IJobView, private IMessageTarget {
  public:
    static constexpr std::uint32_t kStopWindowMs = 5000;

    // status: the session's status line (standard error), through which log lines go; may be null.
    CTerminalJobView(IEnvironment& env, const GlobalOptions& options, IUserNotifier* status = nullptr);
    ~CTerminalJobView();
    CTerminalJobView(const CTerminalJobView&) = delete;
    CTerminalJobView& operator=(const CTerminalJobView&) = delete;

    void SetBusy(bool busy) override { (void)busy; }
    void ShowProgress(const JobProgress& progress) override;
    void Log(const std::string& line) override;
    void ShowBox(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void Ask(const JobQuestion& question, std::function<void(bool yes)> answer) override;
    void ShowOutcome(const JobOutcome& outcome) override;

    const std::optional<JobOutcome>& Outcome() const { return m_outcome; }
    // 0 when done, 1 when failed, kExitStopped when cancelled; 1 before an outcome.
    int ExitStatus() const;
    // --json: the one object, with fields (the job's own, when done, or whatever the end with
    // always) added. Nothing without --json.
    void PrintJsonOutcome(const nlohmann::json& fields = nlohmann::json::object(), bool always = false) const;
    // A progress line written in place (\r, no line end) is erased before the next line.
    void EraseOnNextLine() { m_erase = true; }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    bool AnswerStop(const JobQuestion& question);
    void EraseProgress();

    IEnvironment& m_env;
    const GlobalOptions& m_options;
    IUserNotifier* m_status;
    std::deque<std::function<void()>> m_answers;
    std::optional<JobOutcome> m_outcome;
    std::string m_logged;  // the last log line
    std::string m_hint;    // what only the command line can do, for the outcome's hint
    std::string m_step;
    std::uint32_t m_steps = 0;
    std::uint32_t m_quarter = 0;
    bool m_counting = false;
    bool m_erase = false;
    bool m_warned = false;
    std::uint32_t m_warnedAt = 0;
};

// The backup before a risky job: the "AutoBackup" setting, off with --no-backup.
AutoBackupSettings BackupSettings(const GlobalOptions& options);

// Runs the job start() begins until the shell's outcome (or limitMs), catching SIGINT, SIGTERM and
// SIGHUP meanwhile (a job with a stop question asks, one without stops at its next step);
// returns the view's exit status.
// kNoTimeLimit: a job whose work ends by its own time-outs (the file-server copy).
inline constexpr std::uint32_t kNoTimeLimit = 0xFFFFFFFF;
// onSignal: a job's own rule for a signal, in place of the shell's stop rule.
int RunJobToOutcome(CSession& session, CJobShell& shell, CTerminalJobView& view, const std::function<void()>& start,
                    std::uint32_t limitMs = 30 * 60 * 1000, std::function<void()> onSignal = {});

// How every command that needs the radio begins: the session, the contact and its lines, said
// once here (a radio that cannot be had is said once, and its exit status returned), then
// job(session, view) with the terminal view its job's shell talks to.
using RadioJob = std::function<int(CSession& session, CTerminalJobView& view)>;
int RunOnRadio(IEnvironment& env, const GlobalOptions& options, const RadioJob& job);
// The same on a session the command made first (to read its settings before the radio is touched).
int RunOnRadio(CSession& session, const RadioJob& job);

}  // namespace rm7::cli
