#pragma once
// CFtpDlg: "Copy Files from Tarnwell File Server", the window of the file-server copy. The copy
// itself is CFtpCopyJob's; this shows its log lines and turns Cancel into the job's Cancel. With
// "Trace" off a run without error closes the window by itself; otherwise the button becomes
// "Close".
//
// Threads: GUI thread only; the job's worker only posts to the pump.
#include <filesystem>
#include <memory>
#include <string>

#include <QDialog>

#include "firmware/ftp_copy.h"
#include "ui/prompts.h"

class QPushButton;
class QTextEdit;

namespace rm7 {

class CFtpDlg final : public QDialog {
  public:
    CFtpDlg(IMessagePump& pump, std::filesystem::path folder, const FolderContents& contents, std::string server,
            bool trace, DialogPrompts prompts, QWidget* parent = nullptr);
    ~CFtpDlg() override;

    QTextEdit* Log() const { return m_log; }
    QPushButton* Button() const { return m_button; }
    CFtpCopyJob& Job() { return *m_job; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    bool FolderReady();
    void OnDone(int result);

    std::filesystem::path m_folder;
    DialogPrompts m_prompts;
    bool m_trace;
    bool m_started = false;
    bool m_running = false;
    int m_result = kFtpResultCancelled;  // until a run ends: a window closed before has done nothing
    QTextEdit* m_log = nullptr;
    QPushButton* m_button = nullptr;
    std::unique_ptr<CFtpCopyJob> m_job;
};

}  // namespace rm7
