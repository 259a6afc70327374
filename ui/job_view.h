#pragma once
// CJobView: the desktop program's one view of the job shell (link/job_shell.h), over a job
// dialog's widgets. Boxes and questions always wait for the event loop, never run one inside a
// radio callback. The outcome goes to the status line; a success ends the dialog (an editor that
// stays open after a read or a write says it there instead), a cancel or a failure leaves it
// open with the outcome's text and the button reading "Close" (a failure also in one box).
//
// Threads: GUI thread only.
#include <QPointer>
#include <string>

#include "link/job_shell.h"
#include "ui/job_dialog.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace rm7 {

// What a progress bar and its line show for a job's progress: during a known wait a bar that
// fills as the seconds count down; while the machine counts its units, those; before either
// (the backup, finding the radio), a busy bar (maximum 0) and the step, so the first seconds
// say what they are spent on.
struct JobBarView {
    int maximum = 0;  // 0: busy, no position yet
    int value = 0;
    std::string text;
};
JobBarView BarViewOf(const JobProgress& progress);

class CJobView final : public IJobView {
  public:
    // Any widget may be missing: what it would show is then not shown.
    struct Widgets {
        QProgressBar* progress = nullptr;
        QLabel* meter = nullptr;    // bytes or blocks, rate and time left; a countdown
        QLabel* outcome = nullptr;  // the outcome of a cancel or a failure
        QPushButton* cancel = nullptr;
        QPlainTextEdit* log = nullptr;
    };
    // The dialog's result for each way a job ends.
    struct Results {
        int done = QDialog::Accepted;
        int cancelled = QDialog::Rejected;
        int failed = QDialog::Rejected;
        bool endOnDone = true;  // false: an editor, which stays open after a read or a write
    };

    // status: the status line (may be null). errorCaption: the failure box's caption.
    CJobView(CJobDialog& dialog, Widgets widgets, IUserNotifier* status, std::string errorCaption, Results results);

    // The Cancel (then Close) button and the window's close: a running job is asked to stop;
    // one that has ended, or never started, closes the dialog with its result.
    void OnCancel(CJobShell& shell);
    // A success, too, leaves the dialog open with its outcome (a firmware load under Trace, whose
    // log is worth reading).
    void KeepOpenWhenDone(bool keep) { m_keepOpenWhenDone = keep; }

    void SetBusy(bool busy) override;
    void ShowProgress(const JobProgress& progress) override;
    void Log(const std::string& line) override;
    void ShowBox(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void Ask(const JobQuestion& question, std::function<void(bool yes)> answer) override;
    void ShowOutcome(const JobOutcome& outcome) override;

  private:
    int ResultOf(JobResult result) const;

    CJobDialog& m_dialog;
    Widgets m_widgets;
    IUserNotifier* m_status;
    std::string m_errorCaption;
    Results m_results;
    bool m_keepOpenWhenDone = false;
};

}  // namespace rm7
