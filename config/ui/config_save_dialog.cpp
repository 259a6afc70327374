#include "config/ui/config_save_dialog.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>

#include "config/config_folder.h"
#include "ui/message_box.h"
#include "ui/qt_text.h"

namespace rm7 {
namespace {

std::filesystem::path PathOf(const QString& text) {
    return std::filesystem::path(text.toStdString());
}

std::optional<std::filesystem::path> RunFileDialog(QWidget* owner, QFileDialog::AcceptMode mode,
                                                   const std::filesystem::path& folder, const std::string& name) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(QString::fromLatin1(kConfigurationFileFilter).split(QStringLiteral(";;")));
    dialog.setDefaultSuffix(QString::fromLatin1(kConfigurationFileExtension));
    dialog.setDirectory(Text(folder.string()));
    if (!name.empty()) {
        dialog.selectFile(Text(name));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return PathOf(dialog.selectedFiles().constFirst());
}

}  // namespace

DialogPrompts QtConfigDialogPrompts() {
    DialogPrompts prompts = DialogPrompts::Qt();
    prompts.saveFile = [](QWidget* owner, const std::filesystem::path& folder, const std::string& proposedName) {
        return RunFileDialog(owner, QFileDialog::AcceptSave, folder, proposedName);
    };
    prompts.openFile = [](QWidget* owner, const std::filesystem::path& folder) {
        return RunFileDialog(owner, QFileDialog::AcceptOpen, folder, {});
    };
    return prompts;
}

CConfigJobDialog::CConfigJobDialog(const QString& title, const QString& text, DialogPrompts prompts, QWidget* parent)
    : CJobDialog(parent, std::move(prompts), nullptr) {
    setWindowTitle(title);
    auto* label = new QLabel(text, this);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    // Fixed width, so that the bytes, rate and time left stand still while they change.
    m_transfer = new QLabel(this);
    m_transfer->setObjectName(QStringLiteral("transfer"));
    m_transfer->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Wide enough for the longest line it shows, so none is ever cut ("0:00 lef").
    int widest = 0;
    for (const char* line : {"100% 9999999/9999999 bytes  999.9 kB/s  999:59 left", kBackupStepText,
                             "Waiting for the radio to restart: 99 s left"}) {
        widest = std::max(widest, m_transfer->fontMetrics().horizontalAdvance(QString::fromLatin1(line)));
    }
    m_transfer->setMinimumWidth(widest + m_transfer->fontMetrics().averageCharWidth());
    m_progress->setRange(0, 0);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_outcome = new QLabel(this);
    m_outcome->setObjectName(QStringLiteral("outcome"));
    m_outcome->setWordWrap(true);
    m_outcome->hide();
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    connect(m_cancel, &QPushButton::clicked, this, [this] { OnCancel(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_progress);
    layout->addWidget(m_transfer);
    layout->addWidget(m_outcome);
    layout->addLayout(buttons);
    setMinimumWidth(360);
}

bool CConfigJobDialog::AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) {
    return AskNow(Question{caption, text, icon}) == Answer::Yes;
}

std::optional<std::filesystem::path> CConfigJobDialog::AskSaveFileName(const std::filesystem::path& folder,
                                                                       const std::string& proposedName) {
    return Prompts().saveFile ? Prompts().saveFile(this, folder, proposedName) : std::nullopt;
}

std::optional<std::filesystem::path> CConfigJobDialog::AskOpenFileName(const std::filesystem::path& folder) {
    return Prompts().openFile ? Prompts().openFile(this, folder) : std::nullopt;
}

void CConfigJobDialog::OnFirstShow() {
    // After the show has finished, so the file dialog opens over a visible dialog.
    QTimer::singleShot(0, this, [this] { OnFirstShown(); });
}

void CConfigJobDialog::reject() {
    OnCancel();
}

CConfigSaveDlg::CConfigSaveDlg(CRadioSession& session, CSettingsStore* settings, QWidget* parent, DialogPrompts prompts)
    : CConfigJobDialog(QStringLiteral("Save Configuration"), QStringLiteral("Saving configuration"), std::move(prompts),
                       parent),
      m_view(*this, {ProgressBar(), TransferLabel(), OutcomeLabel(), CancelButton(), nullptr},
             session.Model().Notifier(), kSaveErrorCaption,
             {CConfigSaveJob::kSaved, CConfigSaveJob::kCancelled, CConfigSaveJob::kFailed}),
      m_job(std::make_unique<CConfigSaveJob>(session, m_view, settings, SavedAtFromLocalTime(std::time(nullptr)),
                                             [] { return DefaultConfigurationFolder(); })) {}

CConfigSaveDlg::~CConfigSaveDlg() = default;

void CConfigSaveDlg::OnFirstShown() {
    const bool started = m_job->Begin(
        [this](const std::filesystem::path& folder, const std::string& name) { return AskSaveFileName(folder, name); });
    if (!started) {
        EndAfterBoxes(CConfigSaveJob::kCancelled);
    }
}

}  // namespace rm7
