#include "firmware/ui/ftp_dialog.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/format.h"
#include "platform/job_texts.h"
#include "platform/text.h"
#include "ui/qt_text.h"

namespace rm7 {

CFtpDlg::CFtpDlg(IMessagePump& pump, std::filesystem::path folder, const FolderContents& contents, std::string server,
                 bool trace, DialogPrompts prompts, QWidget* parent)
    : QDialog(parent), m_folder(std::move(folder)), m_prompts(std::move(prompts)), m_trace(trace) {
    setObjectName("ftpDialog");
    setWindowTitle(QStringLiteral("Copy Files from Tarnwell File Server"));
    m_log = new QTextEdit(this);
    m_log->setObjectName("ftpLog");
    m_log->setReadOnly(true);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_button = new QPushButton(QStringLiteral("Cancel"), this);
    m_button->setObjectName("ftpButton");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_log, 1);
    layout->addWidget(m_button, 0, Qt::AlignRight);
    resize(640, 300);
    connect(m_button, &QPushButton::clicked, this, &CFtpDlg::reject);

    m_job = std::make_unique<CFtpCopyJob>(
        pump, m_folder, contents, std::move(server),
        [this](const std::string& line) { m_log->append(QString::fromStdString(line)); },
        [this](int result) { OnDone(result); });
    m_job->SetTrace(trace);
}

CFtpDlg::~CFtpDlg() = default;

bool CFtpDlg::FolderReady() {
    std::error_code ec;
    if (std::filesystem::is_directory(m_folder, ec)) {
        return true;
    }
    const Question question{"Create folder",
                            StrFormat("Folder \"%s\" does not exist. Do you want to create it now?",
                                      Utf8OrEscaped(m_folder.string()).c_str()),
                            MessageIcon::Question, false};
    if (!m_prompts.ask || m_prompts.ask(this, question) != Answer::Yes) {
        return false;
    }
    std::filesystem::create_directories(m_folder, ec);
    return std::filesystem::is_directory(m_folder, ec);
}

void CFtpDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started) {
        return;
    }
    m_started = true;
    setMinimumSize(size());
    // After the window is up, so that its first lines show while the listing is under way.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible()) {
            return;  // closed before its run began
        }
        if (!FolderReady()) {
            done(kFtpResultFailed);
            return;
        }
        m_running = true;
        m_job->Start();
    });
}

void CFtpDlg::OnDone(int result) {
    m_running = false;
    m_result = result;
    if (FtpWindowClosesItself(result, m_trace)) {
        done(result);
        return;
    }
    m_button->setText(QStringLiteral("Close"));
    m_log->append(Text(kClickCloseText));
}

void CFtpDlg::reject() {
    if (m_running) {
        m_job->Cancel();
        return;
    }
    done(m_result);
}

void CFtpDlg::closeEvent(QCloseEvent* event) {
    if (m_running) {
        event->ignore();  // the frame's close waits for the run; Cancel ends it
        return;
    }
    QDialog::closeEvent(event);
}

}  // namespace rm7
