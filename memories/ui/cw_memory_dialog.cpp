#include "memories/ui/cw_memory_dialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <utility>

#include "ui/qt_text.h"

namespace rm7 {

namespace {

// Fixes whatever reaches the box (typing, the context menu's paste, a drop) to what the radio
// can send, keeping the cursor after the characters it was after.
class CCwValidator final : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        const std::string kept = KeepCwTypeable(input.toStdString());
        if (Text(kept) != input) {
            pos = static_cast<int>(KeepCwTypeable(input.left(pos).toStdString()).size());
            input = Text(kept);
        }
        return Acceptable;
    }
};

}  // namespace

CEditCWMemory::CEditCWMemory(QWidget* parent) : QLineEdit(parent) {
    setMaxLength(static_cast<int>(kCwEditLimit));
    setValidator(new CCwValidator(this));
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::Monospace);
    setFont(font);
}

void CEditCWMemory::ShowText(const QString& text) {
    setMaxLength(std::max(static_cast<int>(kCwEditLimit), static_cast<int>(text.size())));
    setText(text);
}

void CEditCWMemory::keyPressEvent(QKeyEvent* event) {
    // A paste keeps what would pass as typed, then goes in only when something is left.
    if (event->matches(QKeySequence::Paste)) {
        const std::string kept = KeepCwTypeable(QGuiApplication::clipboard()->text().toStdString());
        if (!kept.empty() && !isReadOnly()) {
            insert(Text(kept));
        }
        return;
    }
    const QString typed = event->text();
    if (typed.size() == 1 && typed[0].unicode() >= 0x20 && !(event->modifiers() & Qt::ControlModifier)) {
        if (!IsCwTypeable(typed[0].unicode())) {
            return;  // swallowed
        }
        insert(Text(KeepCwTypeable(typed.toStdString())));
        return;
    }
    QLineEdit::keyPressEvent(event);
}

CCWMemoryDlg::CCWMemoryDlg(CRadioSession& session, QWidget* parent, DialogPrompts prompts)
    : CJobDialog(parent, std::move(prompts), kCwMemoryHelpTopic) {
    setWindowTitle(QString::fromLatin1(kCwMemoryCaption));
    setSizeGripEnabled(true);
    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < kCwMemoryCount; ++i) {
        const int row = static_cast<int>(i);
        auto* label = new QLabel(QStringLiteral("M%1").arg(row + 1), this);
        auto* edit = new CEditCWMemory(this);
        edit->setObjectName(QStringLiteral("memory%1").arg(row + 1));
        label->setBuddy(edit);
        connect(edit, &QLineEdit::editingFinished, this,
                [this, i] { m_job->EditFinished(i, m_edits[i]->text().toStdString()); });
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        m_edits[i] = edit;
    }
    grid->setColumnStretch(1, 1);

    auto* prosigns = new QLabel(QString::fromLatin1(kCwProsignsText), this);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    prosigns->setFont(fixed);  // the prosigns line up as the radio's manual shows them
    auto* specials = new QLabel(QString::fromLatin1(kCwSpecialsText), this);

    // The system's own Save, Cancel and Help buttons: the same order and icons as every dialog.
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    m_save = buttons->button(QDialogButtonBox::Save);
    m_save->setObjectName(QStringLiteral("save"));
    m_save->setDefault(true);
    m_cancel = buttons->button(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_help = buttons->button(QDialogButtonBox::Help);
    m_help->setObjectName(QStringLiteral("help"));
    connect(m_save, &QPushButton::clicked, this, [this] {
        CommitEdits();
        m_job->Save();
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(m_help, &QPushButton::clicked, this, [this] { ShowHelp(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(prosigns);
    layout->addWidget(specials);
    m_outcome = new QLabel(this);
    m_outcome->setObjectName(QStringLiteral("outcome"));
    m_outcome->setWordWrap(true);
    layout->addWidget(m_outcome);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setMinimumWidth(640);
    m_view = std::make_unique<CJobView>(*this, CJobView::Widgets{nullptr, nullptr, m_outcome, m_cancel, nullptr},
                                        session.Model().Notifier(), kCwMemoryErrorCaption,
                                        CJobView::Results{kCwDialogSaved, kCwDialogClosed, kCwDialogClosed});
    m_job = std::make_unique<CCWMemoryJob>(session, *m_view, static_cast<ICWMemoryView*>(this));
}

CCWMemoryDlg::~CCWMemoryDlg() {
    m_job->Hide();
}

void CCWMemoryDlg::CommitEdits() {
    for (std::size_t i = 0; i < kCwMemoryCount; ++i) {
        if (m_edits[i]->isEnabled()) {
            m_job->EditFinished(i, m_edits[i]->text().toStdString());
        }
    }
}

void CCWMemoryDlg::reject() {
    if (m_job->Machine().IsIdle()) {
        CommitEdits();
    }
    if (const std::optional<int> result = m_job->CloseRequest([this](const Question& q) { return AskNow(q); })) {
        EndAfterBoxes(*result);
    }
}

void CCWMemoryDlg::ShowMemory(std::size_t index, const std::string& text) {
    if (index < kCwMemoryCount) {
        m_edits[index]->ShowText(Text(text));
        m_edits[index]->setEnabled(true);
    }
}

void CCWMemoryDlg::SetControlsEnabled(bool enabled) {
    for (CEditCWMemory* edit : m_edits) {
        edit->setEnabled(enabled);
    }
    m_save->setEnabled(enabled);
}

void CCWMemoryDlg::FocusCancel() {
    m_cancel->setFocus();
}

}  // namespace rm7
