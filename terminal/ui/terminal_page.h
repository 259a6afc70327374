#pragma once
// CTerminalPage: the "Terminal" page: a receive pane and a transmit pane in a splitter, the
// CW/RTTY/PSK choice, Transmit/Stop, sixteen memories per mode with their editor, Options and
// Clear. What it sends and when is CTerminal's; this view shows the panes and forwards keys.
#include <QDialog>
#include <QTextEdit>

#include <array>
#include <memory>

#include "terminal/terminal.h"
#include "terminal/terminal_settings.h"
#include "ui/help_opener.h"
#include "ui/page.h"

class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSplitter;

namespace rm7 {

// The transmit pane: what is handed to the radio turns grey and can no longer be edited. Typing
// and pasting into it go to the end instead; any other edit that reaches into it (a word deleted
// with Ctrl+Backspace, a cut, an undo, the context menu's Delete, a drag) leaves it as it was (a
// removal still removes its unsent part), so the sent position always stands behind exactly the
// text the radio has.
class CTransmitPane final : public QTextEdit, public ITransmitPane {
  public:
    explicit CTransmitPane(QWidget* parent = nullptr);

    std::string TakeUnsent(std::size_t n) override;
    void AppendUnsent(const std::string& text) override;
    bool EndsInWord() const override;

    int SentLength() const { return m_sent; }
    // Deletes the unsent text; the sent text too when all is true.
    void Clear(bool all);
    // The keys the page acts on; true when the key was taken (not typed).
    std::function<bool(QKeyEvent*)> onKey;
    // After a key was typed into the pane.
    std::function<void(bool typed)> afterKey;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

  private:
    // After every change of the document: an edit of the sent text is put back as it was.
    void KeepSentText();
    // The pane's own edits, which may change the sent text.
    template <typename Edit>
    void OwnEdit(Edit edit);
    // Puts the caret at the end when it stands in (or a selection reaches into) the sent text.
    void LeaveSentText();
    // Enter: the sent text up to its last line break goes.
    void DropSentLines();

    int m_sent = 0;
    QString m_accepted;  // the text after the last change let stand
    bool m_ownEdit = false;
};

class CTerminalPage final : public CPage, private ITerminalView {
  public:
    CTerminalPage(CRadioSession& session, HelpOpener help, QWidget* parent = nullptr);
    ~CTerminalPage() override;

    int Index() const override;
    QString Title() const override { return QStringLiteral("Terminal"); }
    QString HelpTopic() const override { return QStringLiteral("Terminal.htm"); }
    void OnSetActive() override;
    void OnKillActive() override;
    QWidget* InitialFocus() override;
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

    CTerminal& Terminal() { return m_terminal; }
    CTerminalSettings& Settings() { return m_settings; }
    QTextEdit* ReceivePane() const { return m_receive; }
    CTransmitPane* TransmitPane() const { return m_transmit; }
    QSplitter* Splitter() const { return m_splitter; }
    QPushButton* TransmitButton() const { return m_transmitButton; }
    QPushButton* ClearButton() const { return m_clear; }
    QPushButton* EditMemoriesButton() const { return m_editMemories; }
    QPushButton* OptionsButton() const { return m_options; }
    QRadioButton* ModeButton(TerminalMode mode) const { return m_modes[static_cast<std::size_t>(mode)]; }
    QPushButton* MemoryButton(std::size_t index) const { return m_memories[index]; }
    QLabel* ProsignLabel() const { return m_prosigns; }

    // Sends memory index (0-15) of the current mode, as its button and Ctrl+digit do.
    void SendMemory(std::size_t index);
    void Clear();
    // The dialogs; a test drives them in place of the user.
    std::function<void(QDialog&)> runDialog;
    void EditMemories();
    void EditOptions();

  private:
    void ShowText(Text kind, const std::string& radioText) override;
    void OnTransmitting(bool transmitting) override;
    void OnEnabled(bool enabled) override;
    void OnFailed(Result why) override;
    bool OnTransmitKey(QKeyEvent* event);
    void ApplyMode();
    void ApplyFont();
    int RunDialog(QDialog& dialog);

    HelpOpener m_help;
    CTerminalSettings m_settings;
    QTextEdit* m_receive = nullptr;
    CTransmitPane* m_transmit = nullptr;
    QSplitter* m_splitter = nullptr;
    std::array<QRadioButton*, 3> m_modes{};
    QPushButton* m_transmitButton = nullptr;
    QPushButton* m_editMemories = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_options = nullptr;
    QLabel* m_prosigns = nullptr;
    std::array<QPushButton*, kTerminalMemories> m_memories{};
    CTerminal m_terminal;
    CObservation m_mode;
    std::array<CObservation, 3> m_captions;
};

inline constexpr const char* kTerminalMemoriesHelpTopic = "Terminal.htm#Memories";
inline constexpr const char* kTerminalOptionsHelpTopic = "Terminal.htm#Options";

// "Terminal Memories: CW" (and RTTY, PSK): the sixteen captions and texts of one mode.
class CTerminalMemoriesDlg final : public QDialog {
  public:
    CTerminalMemoriesDlg(CTerminalSettings& settings, CSettingsStore* store, TerminalMode mode,
                         QWidget* parent = nullptr, HelpOpener help = {});
    QLineEdit* Caption(std::size_t i) const { return m_captions[i]; }
    QLineEdit* Text(std::size_t i) const { return m_texts[i]; }
    // "Save": every caption and text stored (observers told) and written to the settings.
    void Save();

  private:
    CTerminalSettings& m_settings;
    CSettingsStore* m_store;
    TerminalMode m_mode;
    std::array<QLineEdit*, kTerminalMemories> m_captions{};
    std::array<QLineEdit*, kTerminalMemories> m_texts{};
};

// "Terminal Options": the idle time-out and the font.
class CTerminalOptionsDlg final : public QDialog {
  public:
    CTerminalOptionsDlg(CTerminalSettings& settings, CSettingsStore* store, QWidget* parent = nullptr,
                        HelpOpener help = {});
    QDoubleSpinBox* Timeout() const { return m_timeout; }
    void Save();
    // The font chosen in the system's font dialog, stored at once.
    void ChooseFont(const QFont& font);
    std::function<bool(QFont&)> fontDialog;  // a test answers in place of the user

  private:
    CTerminalSettings& m_settings;
    CSettingsStore* m_store;
    QDoubleSpinBox* m_timeout = nullptr;
};

// The terminal font of the settings.
QFont TerminalFont(const CTerminalSettings& settings);

}  // namespace rm7
