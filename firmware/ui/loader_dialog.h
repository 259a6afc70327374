#pragma once
// CLoaderDlg ("Sending RM7 Firmware"): the log, the progress bar, the outcome and the button of
// one MCU or DSP load. It only shows and forwards: the job (firmware/loader_job.h) runs on the
// job shell, whose one desktop view (ui/job_view.h) this dialog holds. Its result: 1 loaded and
// verified, 2 failed or not started, 3 cancelled. A cancel or a failure leaves the window open with
// what happened, what the radio does now and what to do next, until Close.
//
// Threads: GUI thread only. When the dialog is first shown the backup and then the load start;
// run it with exec().
#include <filesystem>
#include <memory>
#include <string>

#include "firmware/loader_job.h"
#include "ui/job_dialog.h"
#include "ui/job_view.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace rm7 {

class CLoaderDlg final : public CJobDialog {
  public:
    CLoaderDlg(CRadioSession& session, LoaderPart part, std::filesystem::path file, QWidget* parent = nullptr,
               DialogPrompts prompts = DialogPrompts::Qt(), bool backupFirst = true);
    ~CLoaderDlg() override;

    CLoaderJob& Job() { return *m_job; }
    QPlainTextEdit* LogView() const { return m_log; }
    QProgressBar* ProgressBar() const { return m_progress; }
    QLabel* TransferLabel() const { return m_transfer; }
    QLabel* OutcomeLabel() const { return m_outcome; }
    QPushButton* Button() const { return m_button; }

  protected:
    void OnFirstShow() override;
    void OnHidden() override { m_job->End(); }
    // The button, Escape and the window's close box all come here: a running load is asked about.
    void reject() override { m_view->OnCancel(m_job->Shell()); }

  private:
    CModel& m_model;
    QPlainTextEdit* m_log;
    QProgressBar* m_progress;
    QLabel* m_transfer;
    QLabel* m_outcome;
    QPushButton* m_button;
    std::unique_ptr<CJobView> m_view;
    std::unique_ptr<CLoaderJob> m_job;
};

}  // namespace rm7
