#include "clock/ui/date_time_sheet.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace rm7 {

CDateTimeSheet::CDateTimeSheet(CRadioSession& session, QWidget* parent, DialogPrompts prompts,
                               CDateTimeStateMachine::WallClock clock)
    : CJobDialog(parent, std::move(prompts), kDateTimeHelpTopic) {
    setWindowTitle(QString::fromLatin1(kDateTimeCaption));
    auto* page = new QWidget;
    m_utc = new QRadioButton(QStringLiteral("UTC"), page);
    m_utc->setObjectName(QStringLiteral("utc"));
    m_local = new QRadioButton(QStringLiteral("Local"), page);
    m_local->setObjectName(QStringLiteral("local"));
    m_computerTime = new QLabel(page);
    m_computerTime->setObjectName(QStringLiteral("pcTime"));
    m_radioTime = new QLabel(page);
    m_radioTime->setObjectName(QStringLiteral("radioTime"));
    QFont digits = m_radioTime->font();
    digits.setStyleHint(QFont::Monospace);
    digits.setFamily(QStringLiteral("Courier New"));
    m_computerTime->setFont(digits);
    m_radioTime->setFont(digits);
    // Only a click is the user's choice; setting the buttons from the value is not.
    connect(m_utc, &QRadioButton::clicked, this, [this] { m_job->ChooseUtc(true); });
    connect(m_local, &QRadioButton::clicked, this, [this] { m_job->ChooseUtc(false); });

    auto* grid = new QGridLayout(page);
    grid->addWidget(m_utc, 0, 0);
    grid->addWidget(m_local, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("PC Time:"), page), 1, 0);
    grid->addWidget(m_computerTime, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("RM7 Time:"), page), 2, 0);
    grid->addWidget(m_radioTime, 2, 1);
    m_difference = new QLabel(page);
    m_difference->setObjectName(QStringLiteral("difference"));
    grid->addWidget(m_difference, 3, 1);
    grid->addWidget(new QLabel(QString::fromLatin1(kDateTimeHint), page), 4, 0, 1, 2);
    grid->setRowStretch(5, 1);
    grid->setContentsMargins(0, 0, 0, 0);

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("ok"));
    m_ok->setDefault(true);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_apply = buttons->addButton(QDialogButtonBox::Apply);
    m_apply->setObjectName(QStringLiteral("apply"));
    m_apply->setEnabled(false);
    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (!m_job->Apply(true)) {
            accept();
        }
    });
    connect(m_apply, &QPushButton::clicked, this, [this] { m_job->Apply(false); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });

    m_outcome = new QLabel(this);
    m_outcome->setObjectName(QStringLiteral("outcome"));
    m_outcome->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(page);
    layout->addWidget(m_outcome);
    layout->addWidget(buttons);
    setMinimumWidth(320);
    m_view = std::make_unique<CJobView>(*this, CJobView::Widgets{nullptr, nullptr, m_outcome, m_cancel, nullptr},
                                        session.Model().Notifier(), kDateTimeCaption,
                                        CJobView::Results{QDialog::Accepted, QDialog::Rejected, QDialog::Rejected});
    m_job = std::make_unique<CDateTimeJob>(session, *m_view, static_cast<IDateTimeView*>(this), std::move(clock));
}

CDateTimeSheet::~CDateTimeSheet() {
    m_job->Hide();
}

void CDateTimeSheet::reject() {
    // While the radio may be in its time menu the sheet stays open until the job has left it.
    if (!m_job->QueryCancel()) {
        QDialog::reject();
    }
}

void CDateTimeSheet::ShowComputerTime(const std::string& text) {
    m_computerTime->setText(Text(text));
}

void CDateTimeSheet::ShowRadioTime(const std::string& text) {
    m_radioTime->setText(Text(text));
}

void CDateTimeSheet::ShowDifference(const std::string& text) {
    m_difference->setText(Text(text));
}

void CDateTimeSheet::ShowUtc(bool utc) {
    (utc ? m_utc : m_local)->setChecked(true);
}

void CDateTimeSheet::SetApplyEnabled(bool enabled) {
    m_apply->setEnabled(enabled);
    m_ok->setEnabled(enabled);
}

}  // namespace rm7
