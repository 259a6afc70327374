#include "link/idle_exchange.h"

#include "link/serial_port.h"
#include "model/messages.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"

namespace rm7 {

bool IsPacedText(std::string_view text) {
    return !text.empty() && (text.front() == '!' || text.front() == '@');
}

std::string_view PacedPiece(std::string_view text, std::size_t position) {
    if (position >= text.size()) {
        return {};
    }
    return text.substr(position, position == 0 ? 3 : 2);
}

CIdleExchange::CIdleExchange(CRadioSession& session, IIdleExchangeListener& listener)
    : CMessageTarget(session.Pump()), m_session(session), m_listener(listener) {}

CIdleExchange::~CIdleExchange() {
    for (const std::uint32_t id : {kSettleTimerId, kStepTimerId, kQuietTimerId, kAnswerTimerId}) {
        Pump().KillTimer(this, id);
    }
}

void CIdleExchange::SetAnswerCheck(std::function<AnswerCheck(const std::string&)> check, std::string terminators) {
    m_check = std::move(check);
    m_terminators = std::move(terminators);
}

Result CIdleExchange::Begin() {
    m_failure = kOk;
    m_answer.clear();
    Pump().KillTimer(this, kAnswerTimerId);
    // A page shown while a job has the radio must not drop the job's answer.
    return m_session.Port().IsOpen() && m_session.AllIdle() ? m_session.PurgeReceive() : kOk;
}

bool CIdleExchange::Send(const std::string& text) {
    if (m_failure != kOk && m_session.Port().IsOpen()) {
        m_failure = kOk;  // the port was opened again: a new failure is news
    }
    if (!m_held.empty() || m_session.SettleRemainingMs() > 0) {
        // Held in order behind what already waits; the wait is the pump's, not a sleep.
        m_held.push_back(text);
        if (m_held.size() == 1) {
            Pump().SetTimer(this, kSettleTimerId, m_session.SettleRemainingMs() + 1);
        }
        return true;
    }
    return WriteNow(text);
}

bool CIdleExchange::WriteNow(const std::string& text) {
    SetLastError(0);
    if (m_session.SendText(text)) {
        return true;
    }
    const Result r = GetLastError();
    Fail(r != kOk ? r : kErrorWriteFault);
    return false;
}

void CIdleExchange::SendHeld() {
    Pump().KillTimer(this, kSettleTimerId);
    if (const std::uint32_t left = m_session.SettleRemainingMs(); left > 0) {
        Pump().SetTimer(this, kSettleTimerId, left);
        return;
    }
    // What came while the line settled is the change's noise.
    if (m_session.Port().IsOpen() && m_session.AllIdle()) {
        (void)m_session.PurgeReceive();
    }
    std::vector<std::string> held;
    held.swap(m_held);
    for (const std::string& text : held) {
        if (!WriteNow(text)) {
            return;
        }
    }
}

bool CIdleExchange::SendCommands(const std::string& text) {
    if (!IsPacedText(text)) {
        return Send(text);
    }
    AbandonPacing();
    m_paced = text;
    m_pacedAt = 0;
    Step();
    return m_failure == kOk;
}

void CIdleExchange::Step() {
    if (!Pacing()) {
        return;
    }
    Pump().KillTimer(this, kStepTimerId);
    const std::string piece(PacedPiece(m_paced, m_pacedAt));
    if (piece.empty()) {
        AbandonPacing();
        m_listener.OnPacedEnd();
        return;
    }
    m_pacedAt += piece.size();
    m_listener.OnPacedPiece(piece);
    if (Send(piece)) {
        Pump().SetTimer(this, kStepTimerId, kPacedStepMs);
    }
}

void CIdleExchange::AbandonPacing() {
    Pump().KillTimer(this, kStepTimerId);
    m_paced.clear();
    m_pacedAt = 0;
}

void CIdleExchange::AwaitQuiet(std::uint32_t quietMs) {
    // Zero would be no wait at all; the pump counts it as 1 ms anyway.
    m_quietMs = quietMs == 0 ? 1 : quietMs;
    m_quiet = false;
    m_awaitingQuiet = true;
    Pump().SetTimer(this, kQuietTimerId, m_quietMs);
}

void CIdleExchange::ReadAll() {
    ISerialPort& port = m_session.Port();
    if (!port.IsOpen()) {
        return;  // a notice from before a close; a lost port says so by its own notice
    }
    if (!m_held.empty()) {
        (void)m_session.PurgeReceive();  // noise while the line settles, as a state's send drops it
        return;
    }
    bool answered = false;
    bool got = false;
    char buffer[512];
    for (;;) {
        std::size_t count = 0;
        SetLastError(0);
        if (!port.Read(buffer, sizeof buffer, count)) {
            if (!port.IsOpen()) {
                const Result r = GetLastError();
                Fail(r != kOk && r != kErrorInvalidHandle ? r : kErrPortGone);
            }
            break;
        }
        if (count == 0) {
            break;
        }
        const std::string_view bytes(buffer, count);
        got = true;
        answered = answered || bytes.find(')') != std::string_view::npos;
        m_listener.OnReceived(bytes);
        if (m_check) {
            TakeAnswerBytes(bytes);
        }
    }
    if (got && m_awaitingQuiet) {
        Pump().SetTimer(this, kQuietTimerId, m_quietMs);
    }
    if (answered && Pacing()) {
        Step();
    }
}

void CIdleExchange::TakeAnswerBytes(std::string_view bytes) {
    for (const char byte : bytes) {
        m_answer.push_back(byte);
        if (m_terminators.find(byte) != std::string::npos) {
            const AnswerCheck check = m_check(m_answer);
            if (check != AnswerCheck::kNeedMore) {
                const std::string answer = std::move(m_answer);
                m_answer.clear();
                m_listener.OnAnswer(answer, check);
                continue;
            }
        }
        if (m_answer.size() >= kAnswerLimit) {
            const std::string partial = std::move(m_answer);
            m_answer.clear();
            m_listener.OnAnswerDropped(partial);
        }
    }
    if (m_answer.empty()) {
        Pump().KillTimer(this, kAnswerTimerId);
    } else {
        Pump().SetTimer(this, kAnswerTimerId, kAnswerTimeoutMs);
    }
}

void CIdleExchange::Fail(Result why) {
    if (m_failure != kOk) {
        return;
    }
    m_failure = why;
    m_held.clear();
    Pump().KillTimer(this, kSettleTimerId);
    AbandonPacing();
    m_listener.OnFailed(why);
}

LResult CIdleExchange::OnMessage(std::uint32_t code, WParam wParam, LParam) {
    if (code == kMsgSerialNotice) {
        ReadAll();
    } else if (code == kMsgPortLost) {
        Fail(wParam != 0 ? static_cast<Result>(wParam) : kErrPortGone);
    } else if (code == kMsgTimer) {
        switch (wParam) {
            case kSettleTimerId:
                SendHeld();
                break;
            case kStepTimerId:
                Step();
                break;
            case kQuietTimerId:
                Pump().KillTimer(this, kQuietTimerId);
                m_awaitingQuiet = false;
                m_quiet = true;
                m_listener.OnQuiet();
                break;
            case kAnswerTimerId:
                Pump().KillTimer(this, kAnswerTimerId);
                if (!m_answer.empty()) {
                    const std::string partial = std::move(m_answer);
                    m_answer.clear();
                    m_listener.OnAnswerDropped(partial);
                }
                break;
            default:
                break;
        }
    }
    return 0;
}

}  // namespace rm7
