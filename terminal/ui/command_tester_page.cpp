#include "terminal/ui/command_tester_page.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "memories/ui/macro_editor_sheet.h"
#include "platform/settings.h"
#include "ui/page_index.h"
#include "ui/qt_text.h"

namespace rm7 {
namespace {

QFont FixedFont() {
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::Monospace);
    return font;
}

}  // namespace

CCommandTesterPage::CCommandTesterPage(CRadioSession& session, DialogPrompts editorPrompts, QWidget* parent)
    : CPage(session, parent),
      m_macros(session.Model().Pump()),
      m_tester(session, m_macros, *this),
      m_editorPrompts(std::move(editorPrompts)) {
    setObjectName(QStringLiteral("commandTesterPage"));
    m_macros.Load(Model().Settings());
    (void)m_macros.Save(Model().Settings());  // a first start saves MACRO1 to MACRO16 at once

    auto* prompt = new QLabel(QString::fromLatin1(kCommandTesterPrompt), this);
    m_input = new QLineEdit(this);
    m_input->setObjectName(QStringLiteral("input"));
    m_input->setFont(FixedFont());
    prompt->setBuddy(m_input);
    connect(m_input, &QLineEdit::returnPressed, this, [this] {
        if (m_tester.SendInput(m_input->text().toStdString())) {
            SentFrom(m_input);
        }
    });
    connect(m_input, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!m_clearingInput && m_tester.InputChanged(text.toStdString())) {
            SentFrom(m_input);
        }
    });

    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < kMacroCount; ++i) {
        auto* button = new QPushButton(this);
        button->setObjectName(QStringLiteral("macro%1").arg(i + 1));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i, button] {
            if (m_tester.SendMacro(i, m_input->text().toStdString())) {
                SentFrom(button);
            }
        });
        grid->addWidget(button, static_cast<int>(i / 8), static_cast<int>(i % 8));
        m_buttons[i] = button;
    }

    m_output = new QTextEdit(this);
    m_output->setObjectName(QStringLiteral("output"));
    m_output->setReadOnly(true);
    m_output->setFont(FixedFont());
    m_output->setLineWrapMode(QTextEdit::WidgetWidth);
    m_output->setWordWrapMode(QTextOption::WrapAnywhere);

    m_edit = new QPushButton(QString::fromLatin1(kEditMacrosButton), this);
    m_edit->setObjectName(QStringLiteral("editMacros"));
    connect(m_edit, &QPushButton::clicked, this, [this] { EditMacros(); });
    m_clear = new QPushButton(QString::fromLatin1(kClearButton), this);
    m_clear->setObjectName(QStringLiteral("clear"));
    m_clear->setToolTip(QString::fromLatin1(kClearTooltip));
    connect(m_clear, &QPushButton::clicked, this, [this] {
        m_output->clear();
        m_clear->setFocus();
    });

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_edit);
    bottom->addStretch(1);
    bottom->addWidget(m_clear);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(m_input);
    layout->addLayout(grid);
    layout->addWidget(m_output, 1);
    layout->addLayout(bottom);
    setMinimumSize(480, 300);

    for (std::size_t i = 0; i < kMacroCount; ++i) {
        SetMacroLabel(i, m_macros.labels.Get(i));
    }
}

CCommandTesterPage::~CCommandTesterPage() {
    m_tester.Hide();
}

int CCommandTesterPage::Index() const {
    return kPageCommandTester;
}

QString CCommandTesterPage::Title() const {
    return QString::fromLatin1(kCommandTesterTitle);
}

QString CCommandTesterPage::HelpTopic() const {
    return QString::fromLatin1(kCommandTesterHelpTopic);
}

void CCommandTesterPage::OnSetActive() {
    m_tester.Show();
}

void CCommandTesterPage::OnKillActive() {
    m_tester.Hide();
}

QWidget* CCommandTesterPage::InitialFocus() {
    return m_input;
}

LResult CCommandTesterPage::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    if (code == kMsgSerialNotice || code == kMsgPortLost) {
        m_tester.OnRadioNotice(code, wParam, lParam);
    }
    return 0;
}

bool CCommandTesterPage::eventFilter(QObject* watched, QEvent* event) {
    return CPage::eventFilter(watched, event);
}

bool CCommandTesterPage::EditMacros() {
    CCommandMacrosSheet sheet(Session(), m_macros, this, m_editorPrompts);
    if (onEditorShown) {
        QMetaObject::invokeMethod(
            &sheet, [this, &sheet] { onEditorShown(sheet); }, Qt::QueuedConnection);
    }
    const bool ok = sheet.exec() == QDialog::Accepted;
    if (ok) {
        m_macros.FillDefaultLabels();
        (void)m_macros.Save(Model().Settings());
    }
    m_edit->setFocus();
    return ok;
}

void CCommandTesterPage::AppendSent(const std::string& text) {
    Append(text, true);
}

void CCommandTesterPage::AppendReceived(const std::string& text) {
    Append(text, false);
}

void CCommandTesterPage::Append(const std::string& text, bool sent) {
    QScrollBar* bar = m_output->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    const int kept = bar->value();
    QTextCursor cursor(m_output->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(sent ? QColor(0, 153, 0) : QColor(0, 0, 0));
    QString shown = Text(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    cursor.insertText(shown, format);
    bar->setValue(atEnd ? bar->maximum() : kept);
}

void CCommandTesterPage::ClearInput() {
    // Emptying the line is no typing: it must not send again.
    m_clearingInput = true;
    m_input->clear();
    m_clearingInput = false;
}

void CCommandTesterPage::SetSendingBlocked(const std::string& blocker) {
    const QString why = Text(blocker);
    m_input->setEnabled(blocker.empty());
    m_input->setToolTip(why);
    for (QPushButton* button : m_buttons) {
        button->setEnabled(blocker.empty());
        button->setToolTip(why);
    }
}

void CCommandTesterPage::SetMacroLabel(std::size_t index, const std::string& label) {
    if (index < kMacroCount) {
        // "&" would make the next letter a shortcut.
        QString shown = Text(label);
        shown.replace(QStringLiteral("&"), QStringLiteral("&&"));
        m_buttons[index]->setText(shown);
    }
}

void CCommandTesterPage::SentFrom(QWidget* source) {
    if (source != nullptr && source->isEnabled()) {
        source->setFocus();
    }
}

}  // namespace rm7
