#pragma once
// The one recording listener of the idle-time exchange: the bytes it received, each answer as
// judged, the failures, and every event in order (all but the answers with the pump's tick).
#include <string>
#include <string_view>
#include <vector>

#include "link/idle_exchange.h"
#include "platform/message_pump.h"

namespace rm7::test {

class CRecordingExchangeListener final : public IIdleExchangeListener {
  public:
    explicit CRecordingExchangeListener(IMessagePump& pump) : m_pump(pump) {}
    void OnReceived(std::string_view bytes) override { received += bytes; }
    void OnAnswer(const std::string& answer, AnswerCheck check) override {
        answers.push_back((check == AnswerCheck::kValid ? "valid " : "invalid ") + answer);
        events.push_back(answers.back());
    }
    void OnAnswerDropped(const std::string& partial) override { Event("dropped " + partial); }
    void OnPacedPiece(std::string_view piece) override { Event("piece " + std::string(piece)); }
    void OnPacedEnd() override { Event("end"); }
    void OnQuiet() override { Event("quiet"); }
    void OnFailed(Result why) override {
        failures.push_back(why);
        Event("failed");
    }
    // With the tick it happened at.
    void Event(const std::string& what) { events.push_back(what + " @" + std::to_string(m_pump.TickCount())); }

    std::string received;
    std::vector<std::string> answers;  // each judged answer, as "valid X" or "invalid X"
    std::vector<std::string> events;   // every call but OnReceived, in order
    std::vector<Result> failures;

  private:
    IMessagePump& m_pump;
};

}  // namespace rm7::test
