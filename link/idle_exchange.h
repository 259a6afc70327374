#pragma once
// CIdleExchange: talking to the radio while no machine has it. The Terminal, the Command Tester
// and rm7util's send, macros run and terminal all send, read, pace and wait for quiet through
// it, so that each of those has one rule:
//  - a send waits for the port to settle after a speed change and drops the noise of the change,
//    as a state's send does; Begin() drops what arrived before the exchange (nobody's answer);
//  - bytes are given to the listener as read, and, when an answer check is set, cut into answers
//    at a terminator and judged valid, invalid or need-more by that check; an answer that claims
//    more than ever arrives is dropped kAnswerTimeoutMs after its last byte;
//  - "the radio has finished answering" is a line quiet for the time asked, counted from the
//    asking and again from every byte;
//  - a paced text ("!" or "@" first) goes out in pieces, each kPacedStepMs after the last or at
//    once when the radio answers ")";
//  - a port that went away, or a write that failed, ends the exchange with its code, said to
//    the listener once.
//
// It runs on the session's pump (the manual pump in tests, so they take virtual time). It is the
// session's idle target, or its owner forwards kMsgSerialNotice and kMsgPortLost to OnMessage;
// its timers are its own.
//
// Threads: UI thread only. Ownership: the session and the listener outlive it.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/radio_session.h"
#include "link/state_machine.h"
#include "link/timer_ids.h"
#include "platform/message_pump.h"
#include "platform/result.h"

namespace rm7 {

// Texts beginning with "!" or "@" go to the radio in pieces: the first three characters, then two
// at a time, each after the radio answers ")" or kPacedStepMs pass.
inline constexpr std::uint32_t kPacedStepMs = 60;
bool IsPacedText(std::string_view text);
// The piece that starts at position; empty at the end.
std::string_view PacedPiece(std::string_view text, std::size_t position);

class IIdleExchangeListener {
  public:
    // Bytes as read, in order; every byte comes here once.
    virtual void OnReceived(std::string_view bytes) { (void)bytes; }
    // An answer up to a terminator, judged valid or invalid by the answer check.
    virtual void OnAnswer(const std::string& answer, AnswerCheck check) {
        (void)answer;
        (void)check;
    }
    // An answer that never completed (time-out or kAnswerLimit) was dropped.
    virtual void OnAnswerDropped(const std::string& partial) { (void)partial; }
    // A piece of a paced text is about to be sent.
    virtual void OnPacedPiece(std::string_view piece) { (void)piece; }
    // A paced text has ended: its last piece was sent and its last step is over.
    virtual void OnPacedEnd() {}
    // The line was quiet for the time given to AwaitQuiet().
    virtual void OnQuiet() {}
    // The exchange failed (the port went away, a write failed); said once until Begin().
    virtual void OnFailed(Result why) { (void)why; }

  protected:
    ~IIdleExchangeListener() = default;
};

class CIdleExchange final : public CMessageTarget {
  public:
    static constexpr std::uint32_t kSettleTimerId = kTimerIdleSettle;
    static constexpr std::uint32_t kStepTimerId = kTimerIdleStep;
    static constexpr std::uint32_t kQuietTimerId = kTimerIdleQuiet;
    static constexpr std::uint32_t kAnswerTimerId = kTimerIdleAnswer;
    static constexpr std::uint32_t kAnswerTimeoutMs = 2000;

    CIdleExchange(CRadioSession& session, IIdleExchangeListener& listener);
    ~CIdleExchange();

    // Answers end at one of terminators and are judged by check; without a check the listener
    // gets the bytes only.
    void SetAnswerCheck(std::function<AnswerCheck(const std::string&)> check, std::string terminators = ";");

    // Starts an exchange: what arrived before it is dropped (unless a job has the radio), a
    // failure may be said again. A closed port is no failure here (the next send says it).
    Result Begin();
    // Writes text as it is, after the port has settled. False when the write failed (said to
    // the listener); true also for a write held until the port settles.
    bool Send(const std::string& text);
    // A command text as typed or stored: paced when it is a paced text, else Send().
    bool SendCommands(const std::string& text);
    bool Pacing() const { return !m_paced.empty(); }
    // Stops a paced text where it is.
    void AbandonPacing();

    // The listener's OnQuiet() comes once the line has been quiet for quietMs.
    void AwaitQuiet(std::uint32_t quietMs);
    bool Quiet() const { return m_quiet; }
    // Part of an answer is held, waiting for the rest.
    bool AnswerPending() const { return !m_answer.empty(); }
    // Why the exchange failed; kOk while it has not.
    Result Failure() const { return m_failure; }

    // kMsgSerialNotice, kMsgPortLost and the exchange's own timers.
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

  private:
    void ReadAll();
    void TakeAnswerBytes(std::string_view bytes);
    bool WriteNow(const std::string& text);
    void SendHeld();
    void Step();
    void Fail(Result why);

    CRadioSession& m_session;
    IIdleExchangeListener& m_listener;
    std::function<AnswerCheck(const std::string&)> m_check;
    std::string m_terminators = ";";
    std::string m_answer;
    std::vector<std::string> m_held;
    std::string m_paced;
    std::size_t m_pacedAt = 0;
    std::uint32_t m_quietMs = 0;
    bool m_awaitingQuiet = false;
    bool m_quiet = false;
    Result m_failure = kOk;
};

}  // namespace rm7
