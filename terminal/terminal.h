#pragma once
// CTerminal: the text terminal's exchange with the radio, for the Terminal page and for
// "rm7util terminal". It polls the radio with "TB;", shows what the radio decodes, hands the
// text typed into the transmit pane to the radio a few characters at a time with "KY" while
// transmission is on, and echoes it as the radio reports it sent.
//
// It is no state machine: it talks to the radio through the idle-time exchange, and only while
// no machine is busy (it is then the session's idle target, which gets the serial notices; its
// poll timer is its own and skips its turn while a job has the radio). It works only while it is started and the
// radio runs its firmware (status 2).
//
// Threads: UI thread only. Ownership: the view and the pane outlive it.
#include <cstdint>
#include <string>

#include "link/idle_exchange.h"
#include "link/radio_session.h"
#include "link/timer_ids.h"
#include "model/observable.h"
#include "platform/message_pump.h"
#include "terminal/terminal_text.h"

namespace rm7 {

// The transmit pane: text typed or sent from a memory, of which the start has been handed to
// the radio (the sent part) and the rest not yet.
class ITransmitPane {
  public:
    // Up to n characters of unsent text before the caret, as radio text, now counted as sent.
    virtual std::string TakeUnsent(std::size_t n) = 0;
    // Adds radio text at the end, unsent.
    virtual void AppendUnsent(const std::string& text) = 0;
    // The pane's text (sent or not) ends inside a word: what is added next would join it.
    virtual bool EndsInWord() const = 0;

  protected:
    ~ITransmitPane() = default;
};

// Where the terminal shows what happens.
class ITerminalView {
  public:
    enum class Text { kReceived, kSent, kTrace };
    // Radio text for the receive pane: decoded (black), reported sent (green), trace (red).
    virtual void ShowText(Text kind, const std::string& radioText) = 0;
    virtual void OnTransmitting(bool transmitting) = 0;
    virtual void OnEnabled(bool enabled) = 0;
    // The port went away or a write failed; said once. rm7util's command says it itself.
    virtual void OnFailed(Result why) { (void)why; }

  protected:
    ~ITerminalView() = default;
};

// Where one word of radio text ends: a space or a line break.
inline bool IsWordBreak(char c) {
    return c == ' ' || c == '\r' || c == '\n';
}

// A transmit pane held as a string, the caret at its end: rm7util's, and the tests'.
class CTextPane final : public ITransmitPane {
  public:
    std::string TakeUnsent(std::size_t n) override;
    void AppendUnsent(const std::string& text) override { m_text += text; }
    bool EndsInWord() const override { return !m_text.empty() && !IsWordBreak(m_text.back()); }
    std::size_t UnsentLength() const { return m_text.size() - m_sent; }
    // Forgets the unsent text (a terminal that ends keys no more).
    void DropUnsent() { m_text.resize(m_sent); }
    // Backspace: only what is not sent yet can be taken back.
    void EraseLastUnsent() {
        if (m_text.size() > m_sent) {
            m_text.pop_back();
        }
    }
    const std::string& Text() const { return m_text; }

  private:
    std::string m_text;
    std::size_t m_sent = 0;
};

class CTerminal final : public CMessageTarget, private IIdleExchangeListener {
  public:
    static constexpr std::uint32_t kPollTimerId = kTimerTerminalPoll;
    static constexpr std::uint32_t kFastPollMs = 100;
    static constexpr std::uint32_t kSlowPollMs = 1000;
    // A "TB" answer that says more characters follow than arrive within this time is dropped.
    static constexpr std::uint32_t kAnswerTimeoutMs = CIdleExchange::kAnswerTimeoutMs;
    static constexpr std::uint32_t kKeepAliveAfterMs = 3000;
    static constexpr std::uint32_t kEndFormWithinMs = 4000;

    CTerminal(CRadioSession& session, ITransmitPane& pane, ITerminalView& view);
    ~CTerminal();

    // Shown: observes the firmware status, polls, and is enabled while the radio runs its
    // firmware. Hidden: stops polling and is disabled, which ends transmission.
    void Start();
    void Stop();
    bool Started() const { return m_started; }
    bool Enabled() const { return m_enabled; }

    void SetMode(TerminalMode mode) { m_mode = mode; }
    TerminalMode Mode() const { return m_mode; }
    // 0: in RTTY and PSK transmission ends as soon as everything is sent.
    void SetActivityTimeoutMs(std::uint32_t ms) { m_activityTimeoutMs = ms; }
    // Off where nobody is at the keys (text given to send): no "Press Ctrl+T" status.
    void SetKeyHints(bool on) { m_keyHints = on; }

    bool Transmitting() const { return m_transmitting; }
    // On only while enabled; false when refused.
    bool TransmitOn();
    // The user's stop (Stop, Esc, Ctrl+T): in RTTY and PSK the end-of-transmission form when the
    // radio has sent everything and the last send is recent.
    void TransmitOff();
    void ToggleTransmit();
    // Every other way out (page hidden, window closed, port lost, a quit signal, the end of
    // rm7util terminal): no more "KY", and in RTTY and PSK always the end-of-transmission form.
    void EndTransmission();

    // A key reached the transmit pane; typed text, when there was some, is now in the pane.
    void OnKey(bool typedText);
    // A memory's text (markers expanded) added to the pane; [TXON] switches transmission on.
    void SendMemory(const std::string& memoryText);
    // Text or transmission changed: feed the radio from the event loop.
    void RequestFeed();

    // What is waiting to be reported sent, in its display form.
    const std::string& EchoQueue() const { return m_echo; }
    unsigned Untransmitted() const { return m_untransmitted; }
    std::uint32_t PollIntervalMs() const { return m_pollInterval; }
    // Nothing is waiting here or in the radio, as a "TB" answer since the last "KY" said.
    bool AllSent() const { return m_echo.empty() && m_untransmitted == 0 && m_answeredSinceSend; }
    // Why talking to the radio failed (the port went away); kOk while it has not.
    Result Failure() const { return m_exchange.Failure(); }

    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

  private:
    void ApplyEnabling();
    void SetTransmitting(bool on);
    void Feed();
    void OnPollTimer();
    void OnAnswer(const std::string& answer, AnswerCheck check) override;
    void OnAnswerDropped(const std::string& partial) override;
    void OnFailed(Result why) override;
    void HandleAnswer(const TextBufferAnswer& answer);
    // Received or sent text for the receive pane, on a line of its own when the other spoke last.
    void ShowSpoken(ITerminalView::Text kind, const std::string& text);
    bool Send(std::string_view command);
    bool Keyboard() const { return m_mode != TerminalMode::kCw; }  // RTTY, PSK
    bool TracingCommands() const;
    void KeyHint() const;
    void Status(const char* text) const;
    std::uint32_t Now() const { return Pump().TickCount(); }
    std::uint32_t Since(std::uint32_t tick) const { return Now() - tick; }

    CRadioSession& m_session;
    CModel& m_model;
    ITransmitPane& m_pane;
    ITerminalView& m_view;
    CObservation m_firmwareStatus;
    TerminalMode m_mode = TerminalMode::kCw;
    std::uint32_t m_activityTimeoutMs = 0;
    bool m_keyHints = true;
    bool m_started = false;
    bool m_enabled = false;
    bool m_transmitting = false;
    bool m_txOn = false;
    bool m_txOff = false;
    std::string m_echo;
    unsigned m_untransmitted = 0;
    bool m_answeredSinceSend = true;
    std::uint32_t m_pollInterval = kFastPollMs;
    std::uint32_t m_pollCounter = 0;
    std::uint32_t m_lastActivity = 0;
    std::uint32_t m_lastSend = 0;
    ITerminalView::Text m_lastSpoken = ITerminalView::Text::kReceived;
    bool m_atLineStart = true;
    CIdleExchange m_exchange;
};

}  // namespace rm7
