#include "terminal/ui/terminal_page.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSplitter>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "platform/error_text.h"
#include "platform/settings.h"
#include "platform/text.h"
#include "ui/page_index.h"
#include "ui/qt_text.h"
#include "ui/radio_action.h"

namespace rm7 {
namespace {

const QColor kReceivedColor(0x00, 0x00, 0x00);
const QColor kSentColor(0x00, 0x99, 0x00);
const QColor kTraceColor(0xFF, 0x00, 0x00);
const QColor kHandedOverColor(0x7F, 0x7F, 0x7F);

constexpr const char* kProsigns = "CW Prosigns: _ AA     + AR     % AS     = BT     ( KN     * SK     ! VE";

// Radio text as the panes show it: one byte one character, CR LF and a lone CR a line break.
QString PaneText(const std::string& radioText) {
    QString text = QString::fromLatin1(radioText.data(), static_cast<qsizetype>(radioText.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QTextCharFormat Colored(const QColor& color) {
    QTextCharFormat format;
    format.setForeground(color);
    return format;
}

}  // namespace

QFont TerminalFont(const CTerminalSettings& settings) {
    QFont font(Text(settings.fontName.Get()));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSize(static_cast<int>(std::clamp<unsigned long>(settings.fontSize.Get(), 1, 200)));
    font.setBold(settings.fontBold.Get() != 0);
    font.setItalic(settings.fontItalic.Get() != 0);
    return font;
}

// ---------------------------------------------------------------------------------------------
// The transmit pane

CTransmitPane::CTransmitPane(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(false);
    setTabChangesFocus(true);
    connect(document(), &QTextDocument::contentsChanged, this, &CTransmitPane::KeepSentText);
}

template <typename Edit>
void CTransmitPane::OwnEdit(Edit edit) {
    m_ownEdit = true;
    edit();
    m_ownEdit = false;
    m_accepted = document()->toRawText();
}

void CTransmitPane::KeepSentText() {
    if (m_ownEdit) {
        return;
    }
    const QString now = document()->toRawText();
    if (now.size() >= m_sent && QStringView(now).left(m_sent) == QStringView(m_accepted).left(m_sent)) {
        m_accepted = now;
        return;
    }
    // Only the part that differs is put back, so the caret and the rest keep their places.
    const QString& was = m_accepted;
    const qsizetype shorter = std::min(was.size(), now.size());
    qsizetype prefix = 0;
    while (prefix < shorter && was[prefix] == now[prefix]) {
        ++prefix;
    }
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && was[was.size() - 1 - suffix] == now[now.size() - 1 - suffix]) {
        ++suffix;
    }
    const qsizetype end = was.size() - suffix;
    const qsizetype sentEnd = std::clamp<qsizetype>(m_sent, prefix, end);
    // An edit that only removed text (a word, a selection) keeps what it removed of the unsent
    // text; any other is undone whole, since where its new text belongs is anyone's guess.
    const bool removedOnly = now.size() - suffix == prefix;
    OwnEdit([&] {
        QTextCursor put(document());
        put.beginEditBlock();
        put.setPosition(static_cast<int>(prefix));
        put.setPosition(static_cast<int>(now.size() - suffix), QTextCursor::KeepAnchor);
        put.removeSelectedText();
        put.insertText(was.mid(prefix, sentEnd - prefix), Colored(kHandedOverColor));
        if (!removedOnly) {
            put.insertText(was.mid(sentEnd, end - sentEnd), Colored(palette().color(QPalette::Text)));
        }
        put.endEditBlock();
    });
    QTextCursor caret = textCursor();
    if (std::min(caret.position(), caret.anchor()) < m_sent) {
        caret.movePosition(QTextCursor::End);
        setTextCursor(caret);
    }
}

std::string CTransmitPane::TakeUnsent(std::size_t n) {
    const int caret = textCursor().position();
    const int count = std::min(static_cast<int>(n), caret - m_sent);
    if (count <= 0) {
        return {};
    }
    QTextCursor take(document());
    take.setPosition(m_sent);
    take.setPosition(m_sent + count, QTextCursor::KeepAnchor);
    const QString text = take.selectedText();
    OwnEdit([&] { take.mergeCharFormat(Colored(kHandedOverColor)); });
    m_sent += count;
    // No undo may reach back into what the radio has now.
    document()->clearUndoRedoStacks();
    std::string out;
    for (const QChar c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
            out.push_back('\r');
        } else if (c.unicode() <= 0xFF) {
            out.push_back(static_cast<char>(c.unicode()));
        }  // else no mode carries it: left out
    }
    return out;
}

bool CTransmitPane::EndsInWord() const {
    const QString text = toPlainText();
    return !text.isEmpty() && !text.back().isSpace();
}

void CTransmitPane::AppendUnsent(const std::string& text) {
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    OwnEdit([&] { end.insertText(PaneText(text), Colored(palette().color(QPalette::Text))); });
    setTextCursor(end);
}

void CTransmitPane::Clear(bool all) {
    QTextCursor cursor(document());
    cursor.setPosition(all ? 0 : m_sent);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    OwnEdit([&] { cursor.removeSelectedText(); });
    if (all) {
        m_sent = 0;
        document()->clearUndoRedoStacks();
    }
}

void CTransmitPane::LeaveSentText() {
    QTextCursor cursor = textCursor();
    if (std::min(cursor.position(), cursor.anchor()) < m_sent) {
        cursor.movePosition(QTextCursor::End);
        setTextCursor(cursor);
    }
    setCurrentCharFormat(Colored(palette().color(QPalette::Text)));
}

void CTransmitPane::DropSentLines() {
    const QString text = toPlainText().left(m_sent);
    const int lastBreak = static_cast<int>(text.lastIndexOf(QLatin1Char('\n')));
    if (lastBreak < 0) {
        return;
    }
    QTextCursor cursor(document());
    cursor.setPosition(0);
    cursor.setPosition(lastBreak + 1, QTextCursor::KeepAnchor);
    OwnEdit([&] { cursor.removeSelectedText(); });
    m_sent -= lastBreak + 1;
    document()->clearUndoRedoStacks();
}

void CTransmitPane::keyPressEvent(QKeyEvent* event) {
    if (onKey && onKey(event)) {
        return;
    }
    const int key = event->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    const bool erase = key == Qt::Key_Backspace || key == Qt::Key_Delete;
    const QString text = event->text();
    const bool typed = enter || (!text.isEmpty() && text.at(0).isPrint());
    if (enter) {
        DropSentLines();
    }
    if (typed || erase) {
        LeaveSentText();
        const QTextCursor cursor = textCursor();
        if (key == Qt::Key_Backspace && !cursor.hasSelection() && cursor.position() <= m_sent) {
            if (afterKey) {
                afterKey(false);
            }
            return;  // the sent text stays
        }
    }
    QTextEdit::keyPressEvent(event);
    if (afterKey) {
        afterKey(typed);
    }
}

void CTransmitPane::inputMethodEvent(QInputMethodEvent* event) {
    if (!event->commitString().isEmpty() || !event->preeditString().isEmpty()) {
        LeaveSentText();
    }
    QTextEdit::inputMethodEvent(event);
}

void CTransmitPane::insertFromMimeData(const QMimeData* source) {
    LeaveSentText();
    if (source != nullptr && source->hasText()) {
        textCursor().insertText(source->text());
    }
    if (afterKey) {
        afterKey(true);
    }
}

// ---------------------------------------------------------------------------------------------
// The page

CTerminalPage::CTerminalPage(CRadioSession& session, HelpOpener help, QWidget* parent)
    : CPage(session, parent),
      m_help(std::move(help)),
      m_settings(session.Pump()),
      m_transmit(new CTransmitPane),
      m_terminal(session, *m_transmit, *this) {
    setObjectName("terminalPage");
    m_settings.Load(Model().Settings());
    m_terminal.SetActivityTimeoutMs(static_cast<std::uint32_t>(m_settings.activityTimeoutMs.Get()));

    auto* modeGroup = new QButtonGroup(this);
    auto* top = new QHBoxLayout;
    for (const TerminalMode mode : {TerminalMode::kCw, TerminalMode::kRtty, TerminalMode::kPsk}) {
        auto* button = new QRadioButton(QString::fromLatin1(TerminalModeName(mode)), this);
        button->setObjectName(QStringLiteral("mode%1").arg(TerminalModeName(mode)));
        modeGroup->addButton(button, static_cast<int>(mode));
        m_modes[static_cast<std::size_t>(mode)] = button;
        top->addWidget(button);
    }
    m_transmitButton = new QPushButton(QStringLiteral("Transmit"), this);
    m_transmitButton->setObjectName("transmit");
    m_transmitButton->setToolTip(QStringLiteral("Ctrl+T also toggles transmit"));
    m_editMemories = new QPushButton(QStringLiteral("Edit Memories..."), this);
    m_editMemories->setObjectName("editMemories");
    m_editMemories->setToolTip(QStringLiteral("Open an edit memories dialog"));
    m_clear = new QPushButton(QStringLiteral("Clear"), this);
    m_clear->setObjectName("clear");
    m_clear->setToolTip(QStringLiteral("Erase output window"));
    m_options = new QPushButton(QStringLiteral("Options..."), this);
    m_options->setObjectName("options");
    m_options->setToolTip(QStringLiteral("Open a terminal page options dialog"));
    top->addSpacing(12);
    top->addWidget(m_transmitButton);
    top->addStretch(1);
    top->addWidget(m_editMemories);
    top->addWidget(m_options);
    top->addWidget(m_clear);

    m_prosigns = new QLabel(QString::fromLatin1(kProsigns), this);
    m_prosigns->setObjectName("prosigns");

    auto* memories = new QGridLayout;
    memories->setSpacing(4);
    for (std::size_t i = 0; i < kTerminalMemories; ++i) {
        auto* button = new QPushButton(this);
        button->setObjectName(QStringLiteral("memory%1").arg(i + 1));
        button->setMinimumWidth(60);
        memories->addWidget(button, static_cast<int>(i / 8), static_cast<int>(i % 8));
        connect(button, &QPushButton::clicked, this, [this, i] { SendMemory(i); });
        m_memories[i] = button;
    }

    m_receive = new QTextEdit(this);
    m_receive->setObjectName("receivePane");
    m_receive->setReadOnly(true);
    m_transmit->setObjectName("transmitPane");
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName("splitter");
    m_splitter->addWidget(m_receive);
    m_splitter->addWidget(m_transmit);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setStretchFactor(0, 4);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({800, 200});

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_prosigns);
    layout->addWidget(m_splitter, 1);
    layout->addLayout(memories);
    ApplyFont();

    connect(modeGroup, &QButtonGroup::idClicked, this,
            [this](int id) { m_settings.SetMode(static_cast<TerminalMode>(id)); });
    connect(m_transmitButton, &QPushButton::clicked, this, [this] {
        m_terminal.ToggleTransmit();
        m_transmit->setFocus();
    });
    connect(m_clear, &QPushButton::clicked, this, &CTerminalPage::Clear);
    connect(m_editMemories, &QPushButton::clicked, this, &CTerminalPage::EditMemories);
    connect(m_options, &QPushButton::clicked, this, &CTerminalPage::EditOptions);
    m_transmit->onKey = [this](QKeyEvent* event) { return OnTransmitKey(event); };
    m_transmit->afterKey = [this](bool typed) { m_terminal.OnKey(typed); };

    ApplyMode();
    OnEnabled(false);
}

CTerminalPage::~CTerminalPage() {
    m_terminal.Stop();
    if (CSettingsStore* store = Model().Settings()) {
        m_settings.mode.Save(*store);
    }
}

int CTerminalPage::Index() const {
    return kPageTerminal;
}

QWidget* CTerminalPage::InitialFocus() {
    return m_transmit;
}

void CTerminalPage::OnSetActive() {
    m_mode = CObservation(m_settings.mode, this);
    for (std::size_t m = 0; m < 3; ++m) {
        m_captions[m] = CObservation(m_settings.captions[m], this);
    }
    ApplyMode();
    m_terminal.Start();
}

void CTerminalPage::OnKillActive() {
    m_terminal.Stop();
    m_mode.Reset();
    for (CObservation& o : m_captions) {
        o.Reset();
    }
}

LResult CTerminalPage::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    switch (code) {
        case kMsgSerialNotice:
        case kMsgPortLost:
            return m_terminal.OnMessage(code, wParam, lParam);
        case kMsgTerminalMode:
            ApplyMode();
            if (CSettingsStore* store = Model().Settings()) {
                m_settings.mode.Save(*store);
            }
            break;
        case kMsgCwMemoryCaption:
        case kMsgRttyMemoryCaption:
        case kMsgPskMemoryCaption:
            if (wParam < kTerminalMemories && code == m_settings.Captions(m_settings.Mode()).Code()) {
                m_memories[wParam]->setText(rm7::Text(m_settings.Captions(m_settings.Mode()).Get(wParam)));
            }
            break;
        default:
            break;
    }
    return 0;
}

void CTerminalPage::ApplyMode() {
    const TerminalMode mode = m_settings.Mode();
    m_modes[static_cast<std::size_t>(mode)]->setChecked(true);
    m_terminal.SetMode(mode);
    for (std::size_t i = 0; i < kTerminalMemories; ++i) {
        m_memories[i]->setText(rm7::Text(m_settings.Captions(mode).Get(i)));
    }
    m_prosigns->setVisible(mode == TerminalMode::kCw);
}

void CTerminalPage::ApplyFont() {
    const QFont font = TerminalFont(m_settings);
    for (QTextEdit* pane : {m_receive, static_cast<QTextEdit*>(m_transmit)}) {
        pane->setFont(font);
        QTextCursor all(pane->document());
        all.select(QTextCursor::Document);
        QTextCharFormat format;
        format.setFont(font);
        all.mergeCharFormat(format);
    }
}

bool CTerminalPage::OnTransmitKey(QKeyEvent* event) {
    m_terminal.OnKey(false);
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    const bool ctrl = mods == Qt::ControlModifier;
    if (ctrl && key == Qt::Key_T) {
        m_terminal.ToggleTransmit();
        return true;
    }
    if (ctrl && key >= Qt::Key_0 && key <= Qt::Key_9) {
        SendMemory(key == Qt::Key_0 ? 9 : static_cast<std::size_t>(key - Qt::Key_1));
        return true;
    }
    if ((ctrl && key == Qt::Key_W) || key == Qt::Key_Clear) {
        m_transmit->Clear(!m_terminal.Transmitting());
        return true;
    }
    if (key == Qt::Key_Escape) {
        m_terminal.TransmitOff();
        return true;
    }
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        focusNextPrevChild(key == Qt::Key_Tab && !(mods & Qt::ShiftModifier));
        return true;
    }
    const bool ctrlShift = mods == (Qt::ControlModifier | Qt::ShiftModifier);
    const bool swallowed =
        (ctrl && (key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_E || key == Qt::Key_J ||
                  key == Qt::Key_L || key == Qt::Key_R || key == Qt::Key_Equal)) ||
        (ctrlShift && (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_L || key == Qt::Key_Equal ||
                       key == Qt::Key_Plus)) ||
        (mods == Qt::ShiftModifier && key == Qt::Key_Backspace) || (mods == Qt::AltModifier && key == Qt::Key_X);
    return swallowed;
}

void CTerminalPage::SendMemory(std::size_t index) {
    if (index >= kTerminalMemories || !m_terminal.Enabled()) {
        return;
    }
    m_terminal.SendMemory(TransmitTextFromUtf8(m_settings.Texts(m_settings.Mode()).Get(index)));
    m_transmit->setFocus();
}

void CTerminalPage::Clear() {
    m_receive->clear();
    m_transmit->Clear(!m_terminal.Transmitting());
    m_transmit->setFocus();
}

int CTerminalPage::RunDialog(QDialog& dialog) {
    if (runDialog) {
        runDialog(dialog);
        return dialog.result();
    }
    return dialog.exec();
}

void CTerminalPage::EditMemories() {
    CTerminalMemoriesDlg dialog(m_settings, Model().Settings(), m_settings.Mode(), this, m_help);
    RunDialog(dialog);
    m_transmit->setFocus();
    m_transmit->moveCursor(QTextCursor::End);
}

void CTerminalPage::EditOptions() {
    CTerminalOptionsDlg dialog(m_settings, Model().Settings(), this, m_help);
    if (RunDialog(dialog) == QDialog::Accepted) {
        m_terminal.SetActivityTimeoutMs(static_cast<std::uint32_t>(m_settings.activityTimeoutMs.Get()));
        ApplyFont();
    }
    m_transmit->setFocus();
}

void CTerminalPage::ShowText(Text kind, const std::string& radioText) {
    const QColor& color = kind == Text::kReceived ? kReceivedColor : kind == Text::kSent ? kSentColor : kTraceColor;
    QTextCursor end(m_receive->document());
    end.movePosition(QTextCursor::End);
    QTextCharFormat format = Colored(color);
    format.setFont(TerminalFont(m_settings));
    end.insertText(PaneText(radioText), format);
    m_receive->setTextCursor(end);
    m_receive->ensureCursorVisible();
}

void CTerminalPage::OnTransmitting(bool transmitting) {
    m_transmitButton->setText(transmitting ? QStringLiteral("Stop") : QStringLiteral("Transmit"));
}

void CTerminalPage::OnEnabled(bool enabled) {
    // Clearing the panes, the options and the memories' texts need no radio.
    const QWidget* const unneeded[] = {m_clear, m_options, m_editMemories};
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (std::find(std::begin(unneeded), std::end(unneeded), child) == std::end(unneeded)) {
            ApplyRadioNeed(child, Model(), RadioNeed::kFirmware, enabled ? std::string() : "The terminal is stopped");
        }
    }
    if (enabled) {
        m_transmit->setFocus();
        m_transmit->moveCursor(QTextCursor::End);
    }
}

void CTerminalPage::OnFailed(Result why) {
    Model().StatusText(ErrorText(why));
}

// ---------------------------------------------------------------------------------------------
// The dialogs

namespace {

// Help, from its button and from F1, at the dialog's topic.
void AddHelp(QDialog* dialog, QDialogButtonBox* buttons, HelpOpener help, const char* topic) {
    if (!help) {
        return;
    }
    const auto open = [help = std::move(help), topic] { help(QString::fromLatin1(topic)); };
    buttons->addButton(QDialogButtonBox::Help);
    QObject::connect(buttons, &QDialogButtonBox::helpRequested, dialog, open);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, dialog);
    QObject::connect(f1, &QShortcut::activated, dialog, open);
}

}  // namespace

CTerminalMemoriesDlg::CTerminalMemoriesDlg(CTerminalSettings& settings, CSettingsStore* store, TerminalMode mode,
                                           QWidget* parent, HelpOpener help)
    : QDialog(parent), m_settings(settings), m_store(store), m_mode(mode) {
    setObjectName("terminalMemoriesDialog");
    // Not "Edit CW Memories": that is the radio's own CW memories; these live on this computer.
    setWindowTitle(QStringLiteral("Terminal Memories: %1").arg(TerminalModeName(mode)));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Label"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Text"), this), 0, 2);
    for (std::size_t i = 0; i < kTerminalMemories; ++i) {
        const int row = static_cast<int>(i) + 1;
        grid->addWidget(new QLabel(QString::number(i + 1), this), row, 0);
        m_captions[i] = new QLineEdit(rm7::Text(settings.Captions(mode).Get(i)), this);
        m_texts[i] = new QLineEdit(rm7::Text(settings.Texts(mode).Get(i)), this);
        m_texts[i]->setMinimumWidth(360);
        grid->addWidget(m_captions[i], row, 1);
        grid->addWidget(m_texts[i], row, 2);
    }
    grid->setColumnStretch(2, 1);
    auto* hint = new QLabel(QString::fromLatin1(MemoryMarkersHint(mode)), this);
    hint->setObjectName("markersHint");
    hint->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QDialogButtonBox::Save);
    buttons->addButton(QDialogButtonBox::Cancel);
    AddHelp(this, buttons, std::move(help), kTerminalMemoriesHelpTopic);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        Save();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(hint);
    layout->addWidget(buttons);
}

void CTerminalMemoriesDlg::Save() {
    for (std::size_t i = 0; i < kTerminalMemories; ++i) {
        m_settings.Captions(m_mode).Set(i, m_captions[i]->text().toStdString());
        m_settings.Texts(m_mode).Set(i, m_texts[i]->text().toStdString());
    }
    m_settings.Save(m_store);
}

CTerminalOptionsDlg::CTerminalOptionsDlg(CTerminalSettings& settings, CSettingsStore* store, QWidget* parent,
                                         HelpOpener help)
    : QDialog(parent), m_settings(settings), m_store(store) {
    setObjectName("terminalOptionsDialog");
    setWindowTitle(QStringLiteral("Terminal Options"));
    setMinimumWidth(380);
    m_timeout = new QDoubleSpinBox(this);
    m_timeout->setObjectName("idleTimeout");
    m_timeout->setDecimals(1);
    m_timeout->setRange(0.0, static_cast<double>(kIdleTimeoutMaxMs / 100) / 10.0);
    m_timeout->setSingleStep(0.5);
    m_timeout->setSuffix(QStringLiteral(" s"));
    m_timeout->setValue(IdleTimeoutSeconds(settings.activityTimeoutMs.Get()));
    m_timeout->setMinimumWidth(m_timeout->fontMetrics().horizontalAdvance(QStringLiteral("99.9 s")) + 48);
    auto* label = new QLabel(QStringLiteral("&Idle time-out:"), this);
    label->setBuddy(m_timeout);
    auto* explained = new QLabel(QStringLiteral("RTTY and PSK stop transmitting after this long without typing; "
                                                "0 stops as soon as the text has gone. CW goes on until you stop it."),
                                 this);
    explained->setWordWrap(true);
    auto* font = new QPushButton(QStringLiteral("Font..."), this);
    font->setObjectName("font");
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_timeout);
    row->addStretch(1);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QDialogButtonBox::Save);
    buttons->addButton(QDialogButtonBox::Cancel);
    AddHelp(this, buttons, std::move(help), kTerminalOptionsHelpTopic);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(explained);
    layout->addWidget(font, 0, Qt::AlignLeft);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        Save();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(font, &QPushButton::clicked, this, [this] {
        // The font the panes show: the stored name may be one this system stands another in for.
        QFont chosen = TerminalFont(m_settings);
        chosen.setFamily(QFontInfo(chosen).family());
        bool ok = false;
        if (fontDialog) {
            ok = fontDialog(chosen);
        } else {
            chosen = QFontDialog::getFont(&ok, chosen, this);
        }
        if (ok) {
            ChooseFont(chosen);
        }
    });
}

void CTerminalOptionsDlg::Save() {
    m_settings.activityTimeoutMs.Set(IdleTimeoutMs(m_timeout->value(), m_settings.activityTimeoutMs.Get()));
    m_settings.Save(m_store);
}

void CTerminalOptionsDlg::ChooseFont(const QFont& font) {
    m_settings.fontBold.Set(font.weight() == QFont::Bold ? 1 : 0);
    m_settings.fontItalic.Set(font.italic() ? 1 : 0);
    m_settings.fontName.Set(font.family().toStdString());
    m_settings.fontSize.Set(static_cast<unsigned long>(std::lround(font.pointSizeF())));
    m_settings.Save(m_store);
}

}  // namespace rm7
