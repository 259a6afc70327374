#pragma once
// The queue of posted messages and the timer table that the pumps share. Internal to platform/.
//
// Post() may be called from any thread; everything else from the pump's thread. Handlers run
// with no lock held, so they may post, arm or kill timers, Forget() targets or destroy themselves.
#include "platform/message_pump.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace rm7 {

class CPumpQueue {
  public:
    void Post(IMessageTarget* target, std::uint32_t code, WParam wParam, LParam lParam);
    // A period of 0 counts as 1 ms, so a periodic timer can never starve the pump.
    void SetTimer(IMessageTarget* target, std::uint32_t id, std::uint32_t ms, std::uint64_t now);
    void KillTimer(IMessageTarget* target, std::uint32_t id);
    void Forget(IMessageTarget* target);

    std::size_t PendingPosts() const;
    std::size_t ArmedTimers() const;
    // Due time of the earliest armed timer.
    std::optional<std::uint64_t> NextDue() const;

    // Delivers the oldest posted message; false when there is none.
    bool DeliverPost();
    // Fires the earliest timer due at or before now (ties in arming order), re-armed at now + period
    // before its handler runs; false when none is due.
    bool FireDueTimer(std::uint64_t now);

  private:
    struct Posted {
        IMessageTarget* target;
        std::uint32_t code;
        WParam wParam;
        LParam lParam;
    };
    struct Timer {
        std::uint64_t due;
        std::uint32_t period;
        std::uint64_t seq;
    };
    using TimerKey = std::pair<IMessageTarget*, std::uint32_t>;

    std::map<TimerKey, Timer>::const_iterator EarliestLocked() const;

    mutable std::mutex m_mutex;
    std::deque<Posted> m_posts;
    std::map<TimerKey, Timer> m_timers;
    std::uint64_t m_seq = 0;
};

}  // namespace rm7
