#pragma once
// CCommandTester: what the Command Tester page decides, free of any window. The page talks to
// the radio outside any machine, through the idle-time exchange, while no machine is busy (the
// page forwards the serial notices and the lost port). Texts beginning with "!" or "@" go out
// paced.
//
// Threads: UI thread only.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/idle_exchange.h"
#include "memories/command_macro.h"
#include "model/radio_presence.h"

namespace rm7 {

// What the command tester shows of received bytes: a printable ISO-8859-1 character as itself,
// any other byte as "\x" and two upper-case hex digits (a carriage return as \x0D).
std::string TesterPrintableForm(std::string_view bytes);

class ICommandTesterView {
  public:
    virtual void AppendSent(const std::string& text) = 0;
    virtual void AppendReceived(const std::string& text) = 0;
    virtual void ClearInput() = 0;
    // The controls that send: the input line and the macro buttons. blocker: why they cannot
    // send now, for their tooltips; empty: they can. Clearing the transcript and editing the
    // macros need no radio and stay enabled.
    virtual void SetSendingBlocked(const std::string& blocker) = 0;
    virtual void SetMacroLabel(std::size_t index, const std::string& label) = 0;

  protected:
    ~ICommandTesterView() = default;
};

class CCommandTester final : private IMessageTarget, private IIdleExchangeListener {
  public:
    CCommandTester(CRadioSession& session, CCommandMacros& macros, ICommandTesterView& view);
    ~CCommandTester();
    CCommandTester(const CCommandTester&) = delete;
    CCommandTester& operator=(const CCommandTester&) = delete;

    // The page was selected: the buttons get their labels, the controls follow the firmware
    // status, and a paced send left over is abandoned.
    void Show();
    void Hide();

    // Sends text as typed (no ";" added); false when it is empty or no radio answers.
    bool Send(const std::string& text);
    // Enter in the input line.
    bool SendInput(const std::string& input) { return Send(input); }
    // The input line changed: a text ending with ";" goes at once.
    bool InputChanged(const std::string& input);
    // Macro button i: the input line's text followed by macro i's commands.
    bool SendMacro(std::size_t index, const std::string& input);
    // The serial notice and the lost port, forwarded while no machine is busy.
    void OnRadioNotice(std::uint32_t code, WParam wParam, LParam lParam) { m_exchange.OnMessage(code, wParam, lParam); }

    bool Pacing() const { return m_exchange.Pacing(); }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void OnReceived(std::string_view bytes) override;
    void OnPacedPiece(std::string_view piece) override;
    void OnPacedEnd() override;
    void OnFailed(Result why) override;
    void EndPacing();
    // The transcript, whose lines each hold one command or one answer.
    void ShowSent(const std::string& text);
    void ShowReceived(const std::string& text);
    void EndLine();
    bool RadioPresent() const;
    void UpdateEnabled();

    CRadioSession& m_session;
    CModel& m_model;
    CCommandMacros& m_macros;
    ICommandTesterView& m_view;
    CIdleExchange m_exchange;
    bool m_atLineStart = true;
    CObservation m_labelsObservation;
    CObservation m_statusObservation;
    CObservation m_portStateObservation;
};

}  // namespace rm7
