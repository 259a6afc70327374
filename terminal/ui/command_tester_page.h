#pragma once
// CCommandTesterPage ("Command Tester"): the input line, the sixteen macro buttons, the output
// box, "Edit Macros" and "Clear". It only shows and forwards: the decisions are CCommandTester's
// and, in the macro editor, CMacroEditorJob's.
//
// Threads: GUI thread only.
#include <array>
#include <memory>

#include "terminal/command_tester.h"
#include "ui/help_opener.h"
#include "ui/page.h"
#include "ui/prompts.h"

class QLineEdit;
class QPushButton;
class QTextEdit;

namespace rm7 {

class CCommandTesterPage final : public CPage, private ICommandTesterView {
  public:
    // The macros are loaded from the model's settings here and saved when the editor closes
    // with OK. editorPrompts: the boxes of the macro editor (tests give their own).
    explicit CCommandTesterPage(CRadioSession& session, DialogPrompts editorPrompts = DialogPrompts::Qt(),
                                QWidget* parent = nullptr);
    ~CCommandTesterPage() override;

    int Index() const override;
    QString Title() const override;
    QString HelpTopic() const override;
    void OnSetActive() override;
    void OnKillActive() override;
    QWidget* InitialFocus() override;
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

    // "Edit Macros": the editor, modal; true when closed with OK.
    bool EditMacros();
    // Set by tests to act on the editor while it is open (instead of the user).
    std::function<void(class CCommandMacrosSheet&)> onEditorShown;

    CCommandTester& Tester() { return m_tester; }
    CCommandMacros& Macros() { return m_macros; }
    QLineEdit* Input() const { return m_input; }
    QTextEdit* Output() const { return m_output; }
    QPushButton* MacroButton(std::size_t i) const { return m_buttons[i]; }
    QPushButton* EditButton() const { return m_edit; }
    QPushButton* ClearButton() const { return m_clear; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void AppendSent(const std::string& text) override;
    void AppendReceived(const std::string& text) override;
    void ClearInput() override;
    void SetSendingBlocked(const std::string& blocker) override;
    void SetMacroLabel(std::size_t index, const std::string& label) override;
    void Append(const std::string& text, bool sent);
    void SentFrom(QWidget* source);

    CCommandMacros m_macros;
    CCommandTester m_tester;
    DialogPrompts m_editorPrompts;
    QLineEdit* m_input;
    QTextEdit* m_output;
    std::array<QPushButton*, kMacroCount> m_buttons{};
    QPushButton* m_edit;
    QPushButton* m_clear;
    bool m_clearingInput = false;
};

}  // namespace rm7
