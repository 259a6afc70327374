#include "memories/ui/banner_sheet.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/message_box.h"
#include "ui/qt_text.h"

namespace rm7 {

CPowerOnBannerSheet::CPowerOnBannerSheet(CRadioSession& session, QWidget* parent, DialogPrompts prompts)
    : CJobDialog(parent, std::move(prompts), kBannerHelpTopic) {
    setWindowTitle(QString::fromLatin1(kBannerCaption));
    auto* page = new QWidget;
    auto* label = new QLabel(QString::fromLatin1(kBannerPrompt), page);
    m_edit = new QLineEdit(page);
    m_edit->setObjectName(QStringLiteral("banner"));
    m_edit->setMaxLength(static_cast<int>(kBannerMaxLength));
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::Monospace);
    m_edit->setFont(font);
    // The box shows upper case, as the radio's display does.
    connect(m_edit, &QLineEdit::textEdited, this, [this](const QString& text) {
        const int cursor = m_edit->cursorPosition();
        const QString upper = Text(UpperCaseBannerText(text.toStdString()));
        if (upper != text) {
            m_edit->setText(upper);
            m_edit->setCursorPosition(cursor);
        }
    });
    connect(m_edit, &QLineEdit::editingFinished, this, [this] { m_job->EditFinished(m_edit->text().toStdString()); });
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(label);
    pageLayout->addWidget(m_edit);
    pageLayout->addStretch(1);
    pageLayout->setContentsMargins(0, 0, 0, 0);

    auto* buttons = new QDialogButtonBox(this);
    m_save = buttons->addButton(QDialogButtonBox::Save);
    m_save->setObjectName(QStringLiteral("save"));
    m_save->setDefault(true);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    connect(m_save, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });

    m_outcome = new QLabel(this);
    m_outcome->setObjectName(QStringLiteral("outcome"));
    m_outcome->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(page);
    layout->addWidget(m_outcome);
    layout->addWidget(buttons);
    setMinimumWidth(380);
    m_view = std::make_unique<CJobView>(*this, CJobView::Widgets{nullptr, nullptr, m_outcome, m_cancel, nullptr},
                                        session.Model().Notifier(), kBannerErrorCaption,
                                        CJobView::Results{QDialog::Accepted, QDialog::Rejected, QDialog::Rejected});
    m_job = std::make_unique<CBannerJob>(session, *m_view, static_cast<IBannerView*>(this));
}

CPowerOnBannerSheet::~CPowerOnBannerSheet() {
    m_job->Hide();
}

void CPowerOnBannerSheet::OnSave() {
    // Enter or a click on Save may come while the box still has the focus.
    m_job->EditFinished(m_edit->text().toStdString());
    if (!m_job->Apply()) {
        accept();
    }
}

void CPowerOnBannerSheet::reject() {
    if (!m_job->QueryCancel()) {
        QDialog::reject();
    }
}

void CPowerOnBannerSheet::ShowText(const std::string& text) {
    m_edit->setText(Text(text));
}

void CPowerOnBannerSheet::SetEditable(bool editable) {
    m_edit->setReadOnly(!editable);
    m_save->setEnabled(editable);
}

}  // namespace rm7
