#pragma once
// CFtpDlg: "Copy Files from Tarnwell File Server", the window of the file-server copy. The copy
// is CFileServerCopyJob's, run through the job shell, whose view is the window's CJobView: the
// log pane shows its lines, Cancel asks it to stop. With "Trace" off a run without error closes
// the window by itself; a cancel or a failure (or any end under Trace) leaves the window open
// with what happened and the button reading "Close".
//
// Threads: GUI thread only; the job's worker only posts to the pump.
#include <filesystem>
#include <memory>
#include <string>

#include "firmware/file_server_copy_job.h"
#include "ui/job_dialog.h"
#include "ui/job_view.h"
#include "ui/prompts.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace rm7 {

class CFtpDlg final : public CJobDialog {
  public:
    CFtpDlg(IMessagePump& pump, std::filesystem::path folder, const FolderContents& contents, std::string server,
            bool trace, DialogPrompts prompts, QWidget* parent = nullptr);
    ~CFtpDlg() override;

    QPlainTextEdit* Log() const { return m_log; }
    QPushButton* Button() const { return m_button; }
    // What a cancelled or failed run says; hidden until then.
    QLabel* OutcomeLabel() const { return m_outcome; }
    CFtpCopyJob& Job() { return m_job->Copy(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void OnFirstShow() override;
    void OnHidden() override {}
    bool FolderReady();

    std::filesystem::path m_folder;
    bool m_trace;
    QPlainTextEdit* m_log = nullptr;
    QLabel* m_outcome = nullptr;
    QPushButton* m_button = nullptr;
    std::unique_ptr<CJobView> m_view;
    std::unique_ptr<CFileServerCopyJob> m_job;
};

}  // namespace rm7
