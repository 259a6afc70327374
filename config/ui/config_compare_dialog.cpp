#include "config/ui/config_compare_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/config_folder.h"
#include "ui/qt_text.h"

namespace rm7 {

CConfigCompareDlg::CConfigCompareDlg(CRadioSession& session, CSettingsStore* settings, QWidget* parent,
                                     DialogPrompts prompts)
    : CConfigJobDialog(QString::fromLatin1(kCompareCaption), QStringLiteral("Reading the radio's configuration"),
                       std::move(prompts), parent),
      m_view(*this, {ProgressBar(), TransferLabel(), OutcomeLabel(), CancelButton(), nullptr},
             session.Model().Notifier(), kCompareErrorCaption,
             {CConfigCompareJob::kCompared, CConfigCompareJob::kCancelled, CConfigCompareJob::kFailed}),
      m_job(std::make_unique<CConfigCompareJob>(session, m_view, settings,
                                                [] { return DefaultConfigurationFolder(); })) {}

CConfigCompareDlg::~CConfigCompareDlg() = default;

void CConfigCompareDlg::OnFirstShown() {
    if (!m_job->Begin([this](const std::filesystem::path& folder) { return AskOpenFileName(folder); })) {
        EndAfterBoxes(CConfigCompareJob::kCancelled);
    }
}

CConfigDifferenceDlg::CConfigDifferenceDlg(const ConfigurationDifference& difference, const std::string& text,
                                           QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kCompareCaption));
    m_summary = new QLabel(difference.Equal() ? QStringLiteral("The file and the radio hold the same configuration.")
                                              : QStringLiteral("The file and the radio differ:"),
                           this);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_details = new QPlainTextEdit(this);
    m_details->setObjectName(QStringLiteral("details"));
    m_details->setReadOnly(true);
    m_details->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_details->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_details->setPlainText(Text(text));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_details, 1);
    layout->addWidget(buttons);
    resize(640, 420);
}

void RunCompareWithRadio(CRadioSession& session, CSettingsStore* settings, QWidget* parent) {
    CConfigCompareDlg dialog(session, settings, parent);
    if (dialog.exec() != CConfigCompareJob::kCompared) {
        return;
    }
    CConfigDifferenceDlg result(dialog.Job().Difference(), dialog.Job().DifferenceText(), parent);
    result.exec();
}

}  // namespace rm7
