#include "terminal/terminal.h"

#include <algorithm>

#include "link/serial_port.h"
#include "model/messages.h"
#include "platform/format.h"
#include "platform/text.h"

namespace rm7 {
namespace {

constexpr const char* kPressCtrlT = "Press Ctrl+T to toggle transmit";

}  // namespace

std::string CTextPane::TakeUnsent(std::size_t n) {
    const std::size_t count = std::min(n, m_text.size() - m_sent);
    std::string out = m_text.substr(m_sent, count);
    m_sent += count;
    return out;
}

CTerminal::CTerminal(CRadioSession& session, ITransmitPane& pane, ITerminalView& view)
    : CMessageTarget(session.Pump()),
      m_session(session),
      m_model(session.Model()),
      m_pane(pane),
      m_view(view),
      m_exchange(session, *this) {
    m_exchange.SetAnswerCheck([](const std::string& answer) { return CheckTextBufferAnswer(answer); });
}

CTerminal::~CTerminal() {
    Stop();
}

void CTerminal::Start() {
    if (m_started) {
        return;
    }
    m_started = true;
    m_firmwareStatus = CObservation(m_model.firmwareStatus, this);
    m_pollCounter = 0;
    m_lastActivity = Now();
    (void)m_exchange.Begin();
    Pump().SetTimer(this, kPollTimerId, kFastPollMs);
    ApplyEnabling();
}

void CTerminal::Stop() {
    if (!m_started) {
        return;
    }
    m_started = false;
    m_firmwareStatus.Reset();
    Pump().KillTimer(this, kPollTimerId);
    ApplyEnabling();
}

void CTerminal::ApplyEnabling() {
    const bool enabled = m_started && m_model.firmwareStatus.Get() == kFirmwareRunning;
    if (!enabled) {
        EndTransmission();
    }
    if (enabled == m_enabled) {
        return;
    }
    m_enabled = enabled;
    m_view.OnEnabled(enabled);
    if (enabled) {
        if (m_transmitting) {
            RequestFeed();
        } else {
            KeyHint();
        }
    }
}

bool CTerminal::TransmitOn() {
    if (!m_enabled) {
        return false;
    }
    SetTransmitting(true);
    RequestFeed();
    return true;
}

void CTerminal::TransmitOff() {
    m_txOff = false;
    if (!m_transmitting) {
        return;
    }
    if (Keyboard() && m_untransmitted == 0 && Since(m_lastSend) < kEndFormWithinMs) {
        Send(kEndOfTransmission);
    }
    SetTransmitting(false);
    KeyHint();
    Status("Ready");
}

void CTerminal::ToggleTransmit() {
    if (m_transmitting) {
        TransmitOff();
    } else {
        TransmitOn();
    }
}

void CTerminal::EndTransmission() {
    m_txOff = false;
    if (!m_transmitting) {
        return;
    }
    if (Keyboard() && m_session.Port().IsOpen()) {
        Send(kEndOfTransmission);
    }
    SetTransmitting(false);
}

void CTerminal::SetTransmitting(bool on) {
    if (on == m_transmitting) {
        return;
    }
    m_transmitting = on;
    m_view.OnTransmitting(on);
}

void CTerminal::OnKey(bool typedText) {
    m_lastActivity = Now();
    if (!typedText) {
        return;
    }
    if (m_transmitting) {
        RequestFeed();
    } else if (m_enabled) {
        KeyHint();
    }
}

void CTerminal::SendMemory(const std::string& memoryText) {
    const MemoryText memory = ExpandMemory(memoryText);
    if (memory.txOff) {
        m_txOff = true;
    }
    if (memory.txOn) {
        m_txOn = true;
    }
    // A memory is words of its own: "K" typed, then "CQ" sent, must not go out as "KCQ".
    const bool join = !memory.text.empty() && !IsWordBreak(memory.text.front()) && m_pane.EndsInWord();
    m_pane.AppendUnsent(join ? " " + memory.text : memory.text);
    if (m_txOn) {
        m_txOn = false;
        TransmitOn();
    }
    if (m_transmitting) {
        RequestFeed();
    } else {
        KeyHint();
    }
}

void CTerminal::RequestFeed() {
    Pump().Post(this, kMsgTerminalFeed);
}

void CTerminal::Feed() {
    if (!m_transmitting || !m_enabled || !m_session.AllIdle()) {
        return;
    }
    const bool psk = m_mode == TerminalMode::kPsk;
    if (m_echo.size() >= (psk ? 5u : 3u)) {
        return;
    }
    const std::size_t room = (psk ? 8u : 4u) - m_echo.size();
    // Characters the mode cannot send are passed over, so text behind them is not held back.
    std::string filtered;
    for (;;) {
        const std::string taken = m_pane.TakeUnsent(room);
        if (taken.empty()) {
            return;
        }
        filtered = FilterForMode(taken, m_mode);
        if (!filtered.empty()) {
            break;
        }
    }
    m_echo += EchoForm(filtered, m_mode);
    const std::string command = "KY " + filtered + ";";
    Send(command);
    m_pollInterval = kFastPollMs;
    if (TracingCommands()) {
        m_view.ShowText(ITerminalView::Text::kTrace, PrintableForm(command) + "\r\n");
        m_model.StatusText(PrintableForm(command));
    }
}

bool CTerminal::Send(std::string_view command) {
    m_lastSend = Now();
    m_answeredSinceSend = false;
    return m_exchange.Send(std::string(command));
}

bool CTerminal::TracingCommands() const {
    return (m_model.advancedMode.Get() & 0x80) != 0 && m_model.trace.Get() != 0;
}

void CTerminal::Status(const char* text) const {
    m_model.StatusText(text);
}

void CTerminal::KeyHint() const {
    if (m_keyHints) {
        Status(kPressCtrlT);
    }
}

LResult CTerminal::OnMessage(std::uint32_t code, WParam wParam, LParam) {
    switch (code) {
        case kMsgTimer:
            if (wParam == kPollTimerId) {
                OnPollTimer();
            }
            break;
        case kMsgSerialNotice:
        case kMsgPortLost:
            m_exchange.OnMessage(code, wParam, 0);
            break;
        case kMsgFirmwareStatus:
            ApplyEnabling();
            break;
        case kMsgTerminalFeed:
            Feed();
            break;
        default:
            break;
    }
    return 0;
}

void CTerminal::OnPollTimer() {
    if (!m_started) {
        return;
    }
    Pump().SetTimer(this, kPollTimerId, m_pollInterval);
    // A job has the radio: its answers are not ours, and our polls would spoil them.
    if (!m_enabled || !m_session.AllIdle() || !m_session.Port().IsOpen()) {
        return;
    }
    // Polls wait while an answer is still coming (the exchange drops one that never ends).
    if (m_exchange.AnswerPending()) {
        return;
    }
    // Text held back while a job had the radio goes now.
    Feed();
    if (m_pollCounter++ != 0) {
        m_exchange.Send("TB;");  // a poll is no send: the keep-alive and end rules count sends
    }
}

void CTerminal::OnAnswer(const std::string& answer, AnswerCheck check) {
    if (TracingCommands()) {
        m_view.ShowText(ITerminalView::Text::kTrace, PrintableForm(answer) + "\r\n");
    }
    // Any other answer is no poll's.
    if (check == AnswerCheck::kValid) {
        HandleAnswer(ParseTextBufferAnswer(answer));
    }
}

void CTerminal::OnAnswerDropped(const std::string& partial) {
    if (TracingCommands()) {
        m_view.ShowText(ITerminalView::Text::kTrace,
                        StrFormat("Dropped incomplete %s\r\n", PrintableForm(partial).c_str()));
    }
    m_pollCounter = 0;
}

void CTerminal::OnFailed(Result why) {
    // Nothing more can be keyed; the end form cannot go out either.
    SetTransmitting(false);
    m_view.OnFailed(why);
}

void CTerminal::ShowSpoken(ITerminalView::Text kind, const std::string& text) {
    if (kind != m_lastSpoken && !m_atLineStart) {
        // Carried as sent text, so a pane that shows only what was received gets no empty lines.
        m_view.ShowText(ITerminalView::Text::kSent, "\r\n");
    }
    m_view.ShowText(kind, text);
    m_lastSpoken = kind;
    m_atLineStart = text.back() == '\r' || text.back() == '\n';
}

void CTerminal::HandleAnswer(const TextBufferAnswer& answer) {
    m_pollCounter = 0;
    m_answeredSinceSend = true;
    bool activity = false;
    if (!answer.received.empty()) {
        ShowSpoken(ITerminalView::Text::kReceived, answer.received);
        activity = true;
    }
    m_untransmitted = answer.untransmitted;
    activity = activity || answer.untransmitted > 0;
    if (!m_echo.empty()) {
        if (m_echo.size() > answer.untransmitted) {
            const std::size_t gone = m_echo.size() - answer.untransmitted;
            ShowSpoken(ITerminalView::Text::kSent, m_echo.substr(0, gone));
            m_echo.erase(0, gone);
            m_lastSend = Now();
        }
        // At once: an echo queue emptied here is filled again before the end rule looks at it.
        Feed();
    }
    if (answer.untransmitted == 0) {
        if (!m_echo.empty()) {
            m_lastActivity = Now();
            m_lastSend = Now();
        } else if (Keyboard() && m_transmitting && (m_txOff || Since(m_lastActivity) >= m_activityTimeoutMs)) {
            TransmitOff();
        } else if (Keyboard() && m_transmitting && Since(m_lastSend) > kKeepAliveAfterMs) {
            Send(kKeepAlive);
            m_answeredSinceSend = true;  // nothing of the user's is waiting
        }
    }
    if (activity) {
        m_lastActivity = Now();
        m_pollInterval = kFastPollMs;
    } else {
        m_pollInterval = std::min<std::uint32_t>(kSlowPollMs, (m_pollInterval * 15 + 1000) / 16);
    }
}

}  // namespace rm7
