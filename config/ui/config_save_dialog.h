#pragma once
// CConfigSaveDlg ("Save Configuration") and the parts both configuration dialogs share. The
// dialogs only show and forward: every decision is in CConfigSaveJob / CConfigRestoreJob.
//
// Threads: GUI thread only. Run modally with exec(); the file dialog opens once the dialog shows.
#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/config_job_view.h"
#include "config/save_job.h"
#include "ui/job_dialog.h"
#include "ui/job_view.h"
#include "ui/prompts.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace rm7 {

class CSettingsStore;

// Qt's boxes, and Qt's file dialogs for configuration files.
DialogPrompts QtConfigDialogPrompts();

// The window both dialogs have: a line of text, the progress bar, the Cancel button, the busy
// cursor, and message boxes that wait for the event loop instead of running one inside a radio
// callback.
class CConfigJobDialog : public CJobDialog {
  public:
    CConfigJobDialog(const QString& title, const QString& text, DialogPrompts prompts, QWidget* parent);

    QProgressBar* ProgressBar() const { return m_progress; }
    QLabel* TransferLabel() const { return m_transfer; }
    // What a cancelled or failed job says; hidden until then.
    QLabel* OutcomeLabel() const { return m_outcome; }
    QPushButton* CancelButton() const { return m_cancel; }

    // The prompts the jobs' Begin asks, in answer to the user's own action.
    bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon);
    std::optional<std::filesystem::path> AskSaveFileName(const std::filesystem::path& folder,
                                                         const std::string& proposedName);
    std::optional<std::filesystem::path> AskOpenFileName(const std::filesystem::path& folder);

  protected:
    // The job's Begin, once the dialog is on the screen; its End (OnHidden) when the dialog is hidden.
    virtual void OnFirstShown() = 0;
    virtual void OnCancel() = 0;

    // Escape and the window's close button ask the job, as the Cancel button does.
    void reject() override;

  private:
    void OnFirstShow() override;

    QProgressBar* m_progress;
    QLabel* m_transfer;
    QLabel* m_outcome;
    QPushButton* m_cancel;
};

class CConfigSaveDlg final : public CConfigJobDialog {
  public:
    // settings may be null: the folder is then not remembered.
    CConfigSaveDlg(CRadioSession& session, CSettingsStore* settings, QWidget* parent = nullptr,
                   DialogPrompts prompts = QtConfigDialogPrompts());
    ~CConfigSaveDlg() override;

    CConfigSaveJob& Job() { return *m_job; }

  protected:
    void OnFirstShown() override;
    void OnHidden() override { m_job->End(); }
    void OnCancel() override { m_view.OnCancel(m_job->Shell()); }

  private:
    CJobView m_view;
    std::unique_ptr<CConfigSaveJob> m_job;
};

}  // namespace rm7
