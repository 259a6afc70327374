#pragma once
// A message pump on a virtual clock, for tests: time moves only when the test says so, so a
// machine's 8 retries of 2000 ms run in microseconds and always in the same order.
//
// Post() is thread-safe; the rest, and every handler, runs on the thread that drives the pump.
// At any instant, posted messages are delivered before timers, as window timers are. A timer of
// 0 ms counts as 1 ms, so a periodic timer can never hold time still.
#include "platform/message_pump.h"
#include "platform/pump_queue.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace rm7 {

class CManualPump final : public IMessagePump {
  public:
    explicit CManualPump(std::uint32_t startTick = 0) : m_now(startTick) {}

    void Post(IMessageTarget* target, std::uint32_t code, WParam wParam = 0, LParam lParam = 0) override;
    void SetTimer(IMessageTarget* target, std::uint32_t id, std::uint32_t ms) override;
    void KillTimer(IMessageTarget* target, std::uint32_t id) override;
    void Forget(IMessageTarget* target) override;
    // Wraps after 2^32 ms, as the tick count does.
    std::uint32_t TickCount() const override { return static_cast<std::uint32_t>(m_now); }

    // Delivers queued posts (and those their handlers post) and timers due now; time stands still.
    void RunUntilIdle();
    // Moves time forward by ms, stopping at each timer's due time to fire it (TickCount() is
    // its due time while its handler runs) and delivering posts in between.
    void AdvanceBy(std::uint32_t ms);
    // Moves time from event to event until done() holds or maxMs have passed; returns done().
    bool AdvanceUntil(const std::function<bool()>& done, std::uint32_t maxMs);

    std::size_t ArmedTimers() const { return m_queue.ArmedTimers(); }
    std::size_t PendingPosts() const { return m_queue.PendingPosts(); }

  private:
    CPumpQueue m_queue;
    std::uint64_t m_now;
};

}  // namespace rm7
