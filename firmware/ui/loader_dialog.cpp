#include "firmware/ui/loader_dialog.h"

#include "platform/format.h"
#include "platform/text.h"
#include "ui/qt_text.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTextEdit>
#include <QVBoxLayout>

namespace rm7 {

CLoaderDlg::CLoaderDlg(CRadioSession& session, LoaderPart part, std::filesystem::path file, QWidget* parent,
                       DialogPrompts prompts)
    : QDialog(parent),
      m_model(session.Model()),
      m_job(std::make_unique<CLoaderJob>(session, part, std::move(file))),
      m_backup(std::make_unique<CAutoBackup>(session, ReadAutoBackupSettings(m_model.Settings()))),
      m_prompts(std::move(prompts)) {
    setWindowTitle(QStringLiteral("Sending MCU Firmware"));
    m_log = new QTextEdit(this);
    m_log->setObjectName(QStringLiteral("log"));
    m_log->setReadOnly(true);
    m_log->setLineWrapMode(QTextEdit::NoWrap);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    // Fixed width, so that the bytes, rate and time left stand still while they change.
    m_transfer = new QLabel(this);
    m_transfer->setObjectName(QStringLiteral("transfer"));
    m_transfer->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
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
    layout->addLayout(buttons);
    // The template's 429 x 169 dialog units.
    resize(640, 280);

    for (const std::string& line : LoaderInitialLines(m_model)) {
        Append(line);
    }
    m_job->onLog = [this](const std::string& line, CLoaderJob::LogSource source) {
        Append(line);
        if (source == CLoaderJob::LogSource::Machine) {
            m_model.StatusText(line);
        }
    };
    m_job->onFinished = [this](const LoaderOutcome& outcome) { OnFinished(outcome); };
}

CLoaderDlg::~CLoaderDlg() {
    m_backup->Release();
    m_job->Detach();
    SetBusy(false);
}

void CLoaderDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started) {
        return;
    }
    m_started = true;
    // It cannot be made smaller than it opened.
    setMinimumSize(size());
    setWindowTitle(Text(LoaderTitle()));
    SetBusy(true);
    m_backup->Run(BackupReason::kFirmware, [this](const BackupOutcome& outcome) { OnBackup(outcome); });
}

void CLoaderDlg::OnBackup(const BackupOutcome& outcome) {
    Append(outcome.Text());
    if (!outcome.MayGoOn()) {
        if (outcome.code == kErrorCancelled) {
            done(kLoaderDialogFailed);  // closed while the radio was read
            return;
        }
        // The outcome comes from the event loop, never from a radio callback: the question may wait.
        const Question question{kBackupFailedCaption, BackupFailedQuestion(outcome), MessageIcon::Warning};
        if (!m_prompts.ask || m_prompts.ask(this, question) != Answer::Yes) {
            m_notStarted = true;
            Append(kJobNotStartedText);
            m_button->setText(Text(kLoaderCloseText));
            SetBusy(false);
            return;
        }
    }
    m_job->Start(this);
}

void CLoaderDlg::hideEvent(QHideEvent* event) {
    m_backup->Release();
    m_job->Detach();
    QDialog::hideEvent(event);
}

void CLoaderDlg::reject() {
    if (m_backup->Stop()) {
        return;  // the backup's outcome closes the dialog
    }
    if (m_notStarted) {
        done(kLoaderDialogFailed);
        return;
    }
    const CloseDecision decision = m_job->OnCloseRequest();
    if (!decision.ask) {
        done(decision.result);
        return;
    }
    // The close guard asks; without a way to ask, the load goes on. Yes stops the load at its next
    // packet; the window stays, and the load's finish says what was stopped and what the radio does.
    if (!m_prompts.ask ||
        m_prompts.ask(this, {kCriticalOperationCaption, LoaderStopQuestion(m_job->Part())}) != Answer::Yes) {
        return;
    }
    if (!m_job->Cancel()) {
        // Every byte is sent: the radio is being found again, and the load ends by itself.
        return;
    }
    Append(StrFormat("Stopping the %s firmware load at the next packet", LoaderPartName(m_job->Part())));
}

void CLoaderDlg::SetRange(std::uint32_t steps) {
    // An empty image still shows a bar that is full at the end, not a busy indicator.
    m_progress->setRange(0, steps == 0 ? 1 : static_cast<int>(steps));
}

void CLoaderDlg::SetPosition(std::uint32_t step) {
    m_progress->setValue(static_cast<int>(step));
}

void CLoaderDlg::Append(const std::string& line) {
    m_log->append(Text(FlattenLineBreaks(line, "\n")));
}

void CLoaderDlg::OnFinished(const LoaderOutcome& outcome) {
    m_button->setText(Text(kLoaderCloseText));
    SetBusy(false);
    if (outcome.closeNow) {
        done(outcome.dialogResult);
    }
}

void CLoaderDlg::SetBusy(bool busy) {
    if (busy == m_busy) {
        return;
    }
    m_busy = busy;
    // Busy over the dialog, but not over the button that may still close it.
    if (busy) {
        setCursor(Qt::WaitCursor);
        m_button->setCursor(Qt::ArrowCursor);
    } else {
        unsetCursor();
        m_button->unsetCursor();
    }
}

void CLoaderDlg::ShowTransfer(const std::string& meterText) {
    m_transfer->setText(Text(meterText).trimmed());
}

}  // namespace rm7
