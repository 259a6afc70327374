#pragma once
// CJobShell: the one shell every job runs in, in a dialog, on a page or in rm7util. It owns what
// each job used to write for itself: the runner (CJobRun), the busy count, the stop rule, the
// backup a risky job makes first, the progress (step, bytes or blocks, a countdown during a
// known wait) and the outcome (done / cancelled / failed, the radio's state, the backup's path,
// what to do next). It talks to one view, IJobView: the desktop program implements it once
// (ui/job_view.h), rm7util once for a terminal and once for --json (cli/job_views.h), the tests
// once (tests/support/recording_job_view.h).
//
// How a job uses it (the configuration save, config/save_job.cpp, is the example; docs/adding-a-job.md
// walks through adding one):
//
//     CConfigSaveJob::CConfigSaveJob(CRadioSession& session, IJobView& view, ...)
//         : m_machine(session),
//           m_shell(session, m_machine, view, {"config save", kSaveStepText, std::nullopt, kSaveCancelledText}) {
//         m_machine.SetProgressBar(&m_shell.Progress());  // becomes the view's JobProgress
//     }
//     void CConfigSaveJob::Start(const path& file) {      // the dialog's Begin, rm7util's command
//         m_shell.Run([this] { return m_machine.StartSave(); },  // after the backup, when set
//                     [this](Result r) { return Finish(r); });   // the machine's result -> JobOutcome
//     }
//     StopRequest CConfigSaveJob::Cancel() { return m_shell.RequestStop(); }  // button, close, Ctrl-C
//     JobOutcome CConfigSaveJob::Finish(Result r) {
//         ...write the file...
//         return r == kOk ? JobOutcome::Done(kConfigSavedText) : r == kErrorCancelled
//                ? JobOutcome::Cancelled(kSaveCancelledText) : JobOutcome::Failed(kSaveFailedText, r);
//     }
//
// The views: the dialog holds a CJobView over its widgets and forwards its Cancel button to
// CJobView::OnCancel(shell); rm7util makes a CTerminalJobView and calls RunJobToOutcome(), then
// PrintJsonOutcome() with the job's own fields; a test uses test::CRecordingJobView.
//
// A risky job (firmware load, restore, calibration) also owns a backup step and a stop question:
//     CJobBackup m_backup{session, BackupReason::kRestore, ReadAutoBackupSettings(settings)};
//     m_shell.SetBackup(&m_backup);  // config/job_backup.h; rm7util's --no-backup turns it off
//     Texts::stopQuestion = JobQuestion{JobQuestion::Kind::kStop, kCriticalOperationCaption, "Stop ...?"};
// The shell makes the backup before the machine starts, logs its line, asks (Kind::
// kGoOnWithoutBackup) when it failed, puts its path into the outcome; a stop request during the
// backup stops it without a question, one during the machine asks first.
//
// A job with no radio (the file-server copy) makes its shell over the pump alone and runs its
// work with RunWork(start, stop): the work goes on a worker or the pump and ends with Finish().
// A job of short steps with no progress window (the clock's reads) sets Texts::quiet: its runs
// touch neither the busy count nor the progress; the job holds the busy count itself around
// the steps that make up what the user asked for.
//
// A job that is not done may say what to do next (JobOutcome::next) and, when it touched the
// radio, what state a contact found it in (JobOutcome::radio).
//
// A job whose stop or failure may leave the radio anywhere (a firmware load) has it looked for:
// SetFindRadio(when) makes the shell run a contact after such a run, before finish, which then
// reads what the contact found (FoundRadio() and the model). A radio that is not found in time
// (kFindRadioMs unless the job says) is not answering.
//
// finish runs once, from the pump, when the machine's run has ended (for a job that resets the
// radio, after the contact that follows, so the outcome's radio state is what that contact
// found). Its outcome goes to the view once, through ShowOutcome; a job that ends without
// running its machine (a refusal) says so through Finish().
//
// Threads: UI thread only. The view's calls may come from inside a radio callback: a view never
// runs a nested event loop there (boxes and questions are queued; a question's answer comes
// later, through its callback, from the event loop). The outcome handler may destroy the job:
// the shell touches nothing of its own after telling the view.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/job_run.h"
#include "link/radio_session.h"
#include "link/state_machine.h"
#include "link/timer_ids.h"
#include "model/user_notifier.h"

namespace rm7 {

enum class JobResult { kDone, kCancelled, kFailed };
// "done", "cancelled", "failed": rm7util's --json "result".
const char* JobResultName(JobResult result);

// The radio's state once the job has ended, as the job found it.
enum class RadioState {
    kUnchanged,      // the job only read it, or stopped before its first write
    kRunning,        // a contact after the job found it running its firmware
    kPartlyWritten,  // a write stopped part way: the radio holds some of the new bytes
    kBootLoader,     // it waits in its boot loader until the next firmware send
    kNotAnswering,   // the contact after the job found nothing
    kUnknown,        // nobody looked
};
// "unchanged", "running", "partly-written", "boot-loader", "not-answering", "unknown": rm7util's
// --json "radio".
const char* RadioStateName(RadioState state);
// The state in words, for the outcome's radio line.
std::string RadioStateText(RadioState state);

// What happened, said once at the end of a job.
struct JobOutcome {
    std::string job;  // the job's name (CJobShell::Texts::name), filled in by the shell
    JobResult result = JobResult::kDone;
    Result code = kOk;
    std::string what;  // the job's own words: "Configuration was saved", "Failed to save configuration"
    std::string why;   // a failure's reason in the system's words (ErrorText(code)); empty when done
    RadioState radio = RadioState::kUnknown;
    std::string radioText;         // the job's own words for the radio's state; empty: RadioStateText(radio)
    std::filesystem::path file;    // the file the job wrote or read; empty: none
    std::filesystem::path backup;  // the backup made before the job; empty: none
    std::string next;              // what the user does next; empty: nothing to do
    bool told = false;             // a box has said the failure already: a view shows no second one

    // what (": file" when done, ": why" else), the radio's state, where the backup went, the next step: one line each,
    // the empty ones left out.
    std::vector<std::string> Lines() const;
    std::string Text() const;  // Lines() joined by line ends

    static JobOutcome Done(std::string what, RadioState radio = RadioState::kUnchanged);
    static JobOutcome Cancelled(std::string what, RadioState radio = RadioState::kUnchanged);
    // why defaults to ErrorText(code).
    static JobOutcome Failed(std::string what, Result code, RadioState radio = RadioState::kUnchanged);
};

// The progress's step while the backup before a risky job reads the radio.
inline constexpr const char* kBackupStepText = "Backing up the radio's configuration";

// The progress as a view shows it.
struct JobProgress {
    std::string step;            // "Reading configuration"
    std::uint32_t position = 0;  // of range steps of the bar; range 0: no bar yet
    std::uint32_t range = 0;
    std::string meter;              // bytes or blocks, rate and time left, as the machine measures them
    std::uint32_t secondsLeft = 0;  // during a known wait (the reset, the flash erase); 0: none
    std::uint32_t waitSeconds = 0;  // that wait's whole length, for a bar that counts it down
};

struct JobQuestion {
    enum class Kind {
        kOther,
        kStop,              // whether to stop the running job: rm7util's signal rule answers it
        kGoOnWithoutBackup  // the backup failed: rm7util answers no (--no-backup goes on)
    };
    Kind kind = Kind::kOther;
    std::string caption;
    std::string text;
    MessageIcon icon = MessageIcon::Question;
    std::string job;  // the asking job's name, filled in by the shell
};

class IJobView {
  public:
    // The busy cursor, a terminal's nothing: on when the first step starts, off when the last ends.
    virtual void SetBusy(bool busy) = 0;
    virtual void ShowProgress(const JobProgress& progress) = 0;
    // A line for the job's log (the desktop program's log pane, rm7util's standard error).
    virtual void Log(const std::string& line) = 0;
    // Returns at once; shown later, from the event loop.
    virtual void ShowBox(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
    // Returns at once; answer(yes) is called later, from the event loop, once.
    virtual void Ask(const JobQuestion& question, std::function<void(bool yes)> answer) = 0;
    // Once per run: what happened. The view may end the job's window (and the job with it).
    virtual void ShowOutcome(const JobOutcome& outcome) = 0;

  protected:
    ~IJobView() = default;
};

// The backup before a risky job, as the shell sees it (config/job_backup.h makes it: link/ knows
// no configuration files).
class IJobBackup {
  public:
    struct Outcome {
        bool mayGoOn = true;
        Result code = kOk;
        std::filesystem::path file;  // written: the backup; empty: none
        std::string line;            // for the log: where it went, or why there is none
        JobQuestion goOnQuestion;    // asked when !mayGoOn (Kind::kGoOnWithoutBackup); Yes goes on
        std::string notStarted;      // the outcome's words when the user says No
    };
    // Calls done once, from the event loop, after Run has returned.
    virtual void Run(std::function<void(const Outcome&)> done) = 0;
    // Stops a read that is running (done then comes with a failure); false when none is.
    virtual bool Stop() = 0;
    // No outcome comes any more.
    virtual void Release() = 0;

  protected:
    ~IJobBackup() = default;
};

class CJobShell final : private IProgressBar, private IMessageTarget {
  public:
    struct Texts {
        std::string name;                         // rm7util's name for the job: "config save"
        std::string step;                         // the progress's label while the machine runs
        std::optional<JobQuestion> stopQuestion;  // none: a stop request stops at once
        std::string cancelled = "cancelled";      // the outcome's words when stopped during the backup
        bool quiet = false;                       // short steps: no busy count, no progress
    };
    using MakeOutcome = std::function<JobOutcome(Result)>;

    CJobShell(CRadioSession& session, IStateMachine& machine, IJobView& view, Texts texts);
    // A job with no radio: it runs through RunWork only.
    CJobShell(IMessagePump& pump, IJobView& view, Texts texts);
    ~CJobShell();
    CJobShell(const CJobShell&) = delete;
    CJobShell& operator=(const CJobShell&) = delete;

    static constexpr std::uint32_t kFindRadioMs = 15000;
    static constexpr std::uint32_t kFindRadioDelayMs = 100;

    // Made before the machine starts, at each Run; null: none.
    void SetBackup(IJobBackup* backup) { m_backup = backup; }
    // when(result) true: a contact looks for the radio after the run, before finish; a radio not
    // found within limitMs is not answering.
    void SetFindRadio(std::function<bool(Result)> when, std::uint32_t limitMs = kFindRadioMs) {
        m_findRadioWhen = std::move(when);
        m_findRadioMs = limitMs;
    }
    // The result of the contact that looked for the radio after the last run; none: none looked.
    const std::optional<Result>& FoundRadio() const { return m_found; }
    // Give this to the machine: its range and position become the view's JobProgress.
    IProgressBar& Progress() { return *this; }

    // The machine's runner; only a shell made with a machine has one.
    CJobRun& Runner() { return *m_run; }
    // Makes the machine the session's active one without starting it.
    void Claim() {
        if (m_run) {
            m_run->Claim();
        }
    }
    // The backup (when set), then start(); once the machine's run has ended, finish(result)
    // makes the outcome, which the view is told once. A start that is refused ends the run with
    // the thread's last error.
    void Run(std::function<bool()> start, MakeOutcome finish);
    // A job with no machine: start() begins the work (on a worker or the pump), which ends with
    // Finish(). stop() asks it to stop (after the stop question's Yes, when there is one); the
    // outcome still comes through Finish().
    void RunWork(std::function<void()> start, std::function<void()> stop);
    // A job that ends without running (or after) its machine: the outcome, told once.
    void Finish(JobOutcome outcome);
    // A stop button, a window's close, rm7util's signal. Stops the backup at once; a running
    // machine after the stop question's Yes (Kind::kStop), at its next step. kStopping: the
    // stop is on its way (the outcome follows); kDeclined: the question is open, or was
    // answered No; kIdle: nothing runs.
    StopRequest RequestStop();
    // No more notices; gives up the active machine and stops a running backup.
    void Release();

    // The busy count, for a job's own waits outside the run.
    void EnterBusy();
    void LeaveBusy();
    bool Busy() const { return m_busy > 0; }
    // Between Run and the outcome.
    bool Running() const { return m_phase != Phase::kIdle; }
    // A question is open (its answer not yet come).
    bool Asking() const { return m_asking; }
    // A countdown on the progress during a known wait; 0 ends it.
    void StartCountdown(const std::string& step, std::uint32_t seconds);

    void Log(const std::string& line) { m_view.Log(line); }
    void Box(const std::string& caption, const std::string& text, MessageIcon icon) {
        m_view.ShowBox(caption, text, icon);
    }
    IJobView& View() { return m_view; }
    const Texts& GetTexts() const { return m_texts; }
    const std::optional<JobOutcome>& Outcome() const { return m_outcome; }
    // The last outcome's code; none before the first outcome.
    std::optional<Result> LastResult() const {
        return m_outcome ? std::optional<Result>(m_outcome->code) : std::nullopt;
    }
    // The last backup's file, for the outcome.
    const std::filesystem::path& BackupFile() const { return m_backupFile; }

  private:
    enum class Phase { kIdle, kBackup, kMachine, kFindRadio, kWork };
    static constexpr std::uint32_t kCountdownTimer = kTimerJobCountdown;
    static constexpr std::uint32_t kFindRadioTimer = kTimerJobFindRadio;
    static constexpr std::uint32_t kFindRadioStartTimer = kTimerJobFindRadioStart;

    void SetRange(std::uint32_t steps) override;
    void SetPosition(std::uint32_t step) override;
    void ShowTransfer(const std::string& meterText) override;
    void ShowWait(const std::string& step, std::uint32_t seconds) override { StartCountdown(step, seconds); }
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

    void OnBackup(const IJobBackup::Outcome& outcome);
    void StartMachine();
    void OnCompletion(Result r);
    void OnFound(Result found);
    StopRequest Stop();

    IMessagePump& m_pump;
    IStateMachine* m_machine;  // null: a job with no radio
    IJobView& m_view;
    Texts m_texts;
    CRadioSession* m_session;  // null: a job with no radio
    std::optional<CJobRun> m_run;
    std::optional<CJobRun> m_findRun;  // the contact that looks for the radio after a stop or a failure
    std::function<void()> m_stopWork;
    IJobBackup* m_backup = nullptr;
    std::function<bool(Result)> m_findRadioWhen;
    std::uint32_t m_findRadioMs = kFindRadioMs;
    Result m_runResult = kOk;
    std::optional<Result> m_found;
    std::function<bool()> m_start;
    MakeOutcome m_finish;
    Phase m_phase = Phase::kIdle;
    int m_busy = 0;
    bool m_runBusy = false;  // the run holds one of the busy count
    bool m_asking = false;
    bool m_stopAsked = false;
    JobProgress m_progress;
    std::filesystem::path m_backupFile;
    std::optional<JobOutcome> m_outcome;
    // Cleared when the shell goes away, so a late answer finds nothing to do.
    std::shared_ptr<CJobShell*> m_self;
};

}  // namespace rm7
