#pragma once
// CLoaderDlg ("Sending RM7 Firmware"): the log, the progress bar and the button of one MCU or
// DSP load. It only shows and forwards; the job (firmware/loader_job.h) decides what is logged,
// when the window may close and with which result: 1 loaded and verified, 2 failed or
// abandoned.
//
// Threads: GUI thread only. When the dialog is first shown the radio's configuration is backed
// up (config/auto_backup.h), then the load starts; run it with exec().
#include <QDialog>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "config/auto_backup.h"
#include "firmware/loader_job.h"
#include "ui/prompts.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTextEdit;

namespace rm7 {

class CLoaderDlg : public QDialog, private IProgressBar {
  public:
    CLoaderDlg(CRadioSession& session, LoaderPart part, std::filesystem::path file, QWidget* parent = nullptr,
               DialogPrompts prompts = DialogPrompts::Qt());
    ~CLoaderDlg() override;

    CLoaderJob& Job() { return *m_job; }
    QTextEdit* LogView() const { return m_log; }
    QProgressBar* ProgressBar() const { return m_progress; }
    QLabel* TransferLabel() const { return m_transfer; }
    QPushButton* Button() const { return m_button; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // The button, Escape and the window's close box all come here: the close guard.
    void reject() override;

  private:
    void SetRange(std::uint32_t steps) override;
    void SetPosition(std::uint32_t step) override;
    void ShowTransfer(const std::string& meterText) override;
    void Append(const std::string& line);
    void OnFinished(const LoaderOutcome& outcome);
    void OnBackup(const BackupOutcome& outcome);
    void SetBusy(bool busy);

    CModel& m_model;
    std::unique_ptr<CLoaderJob> m_job;
    std::unique_ptr<CAutoBackup> m_backup;
    DialogPrompts m_prompts;
    QTextEdit* m_log;
    QProgressBar* m_progress;
    QLabel* m_transfer;
    QPushButton* m_button;
    bool m_started = false;
    bool m_busy = false;
    bool m_notStarted = false;  // the backup failed and the user would rather not load
};

}  // namespace rm7
