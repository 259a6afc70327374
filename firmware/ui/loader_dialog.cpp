#include "firmware/ui/loader_dialog.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/auto_backup.h"
#include "ui/qt_text.h"

namespace rm7 {

CLoaderDlg::CLoaderDlg(CRadioSession& session, LoaderPart part, std::filesystem::path file, QWidget* parent,
                       DialogPrompts prompts, bool backupFirst)
    : CJobDialog(parent, std::move(prompts), nullptr), m_model(session.Model()) {
    setWindowTitle(Text(LoaderTitle()));
    m_log = new QPlainTextEdit(this);
    m_log->setObjectName(QStringLiteral("log"));
    m_log->setReadOnly(true);
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    // Fixed width, so that the bytes, rate and time left stand still while they change.
    m_transfer = new QLabel(this);
    m_transfer->setObjectName(QStringLiteral("transfer"));
    m_transfer->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_outcome = new QLabel(this);
    m_outcome->setObjectName(QStringLiteral("outcome"));
    m_outcome->setWordWrap(true);
    m_button = new QPushButton(Text(kLoaderCancelText), this);
    m_button->setObjectName(QStringLiteral("button"));
    connect(m_button, &QPushButton::clicked, this, &CLoaderDlg::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_button);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_log, 1);
    layout->addWidget(m_progress);
    layout->addWidget(m_transfer);
    layout->addWidget(m_outcome);
    layout->addLayout(buttons);
    // The template's 429 x 169 dialog units.
    resize(640, 280);

    m_view = std::make_unique<CJobView>(
        *this, CJobView::Widgets{m_progress, m_transfer, m_outcome, m_button, m_log}, m_model.Notifier(), LoaderTitle(),
        CJobView::Results{kLoaderDialogLoaded, kLoaderDialogCancelled, kLoaderDialogFailed});
    LoaderJobOptions options;
    if (backupFirst) {
        options.backup = ReadAutoBackupSettings(m_model.Settings());
    }
    m_job = std::make_unique<CLoaderJob>(session, *m_view, part, std::move(file), std::move(options));
    for (const std::string& line : LoaderInitialLines(m_model)) {
        m_view->Log(line);
    }
}

CLoaderDlg::~CLoaderDlg() {
    m_job->End();
}

void CLoaderDlg::OnFirstShow() {
    // It cannot be made smaller than it opened.
    setMinimumSize(size());
    // Under Trace a good load stays open with its log.
    m_view->KeepOpenWhenDone(m_model.trace.Get() != 0);
    m_job->Start();
}

}  // namespace rm7
