#include "firmware/ui/ftp_dialog.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/format.h"
#include "platform/text.h"
#include "ui/qt_text.h"

namespace rm7 {

CFtpDlg::CFtpDlg(IMessagePump& pump, std::filesystem::path folder, const FolderContents& contents, std::string server,
                 bool trace, DialogPrompts prompts, QWidget* parent)
    : CJobDialog(parent, std::move(prompts), nullptr), m_folder(std::move(folder)), m_trace(trace) {
    setObjectName("ftpDialog");
    setWindowTitle(QStringLiteral("Copy Files from Tarnwell File Server"));
    m_log = new QPlainTextEdit(this);
    m_log->setObjectName("ftpLog");
    m_log->setReadOnly(true);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_outcome = new QLabel(this);
    m_outcome->setObjectName("outcome");
    m_outcome->setWordWrap(true);
    m_button = new QPushButton(QStringLiteral("Cancel"), this);
    m_button->setObjectName("ftpButton");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_log, 1);
    layout->addWidget(m_outcome);
    layout->addWidget(m_button, 0, Qt::AlignRight);
    resize(640, 300);
    connect(m_button, &QPushButton::clicked, this, &CFtpDlg::reject);

    CJobView::Results results{kFtpResultDone, kFtpResultCancelled, kFtpResultFailed};
    // Under Trace a good run's log stays on the screen too.
    results.endOnDone = FtpWindowClosesItself(kFtpResultDone, trace);
    m_view = std::make_unique<CJobView>(*this, CJobView::Widgets{nullptr, nullptr, m_outcome, m_button, m_log}, nullptr,
                                        "File Server Copy Error", results);
    m_job = std::make_unique<CFileServerCopyJob>(pump, *m_view, m_folder, contents, std::move(server));
    m_job->Copy().SetTrace(trace);
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
    if (AskNow(question) != Answer::Yes) {
        return false;
    }
    std::filesystem::create_directories(m_folder, ec);
    return std::filesystem::is_directory(m_folder, ec);
}

void CFtpDlg::OnFirstShow() {
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
        m_job->Start();
    });
}

void CFtpDlg::reject() {
    m_view->OnCancel(m_job->Shell());
}

void CFtpDlg::closeEvent(QCloseEvent* event) {
    if (m_job->Shell().Running()) {
        event->ignore();  // the frame's close waits for the run; Cancel ends it
        return;
    }
    QDialog::closeEvent(event);
}

}  // namespace rm7
