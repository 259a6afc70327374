#pragma once
// The one message pump every state machine, page and job runs on.
//
// Contract:
//  - Everything except Post() is called on the pump's own thread (the UI thread).
//  - Post() is thread-safe: the serial listener thread uses it to announce received bytes.
//    Posted messages carry integers only; a text travels only in a Send().
//  - A handler never runs a nested loop from inside OnMessage.
//  - A target that dies calls pump.Forget(this) (CMessageTarget does it for you), so no
//    posted message or timer ever reaches a destroyed target.
//  - Timers are per (target, id): SetTimer with an id that is already armed re-arms it.
//    A due timer is delivered as kMsgTimer with wParam = id, repeatedly every period until
//    KillTimer, as a window timer is.
#include <cstdint>

namespace rm7 {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

inline constexpr std::uint32_t kMsgTimer = 0x0113;
inline constexpr std::uint32_t kMsgApp = 0x8000;

class IMessageTarget {
  public:
    virtual LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) = 0;

  protected:
    ~IMessageTarget() = default;
};

class IMessagePump {
  public:
    virtual ~IMessagePump() = default;

    // Calls the target at once and returns its result.
    LResult Send(IMessageTarget* target, std::uint32_t code, WParam wParam = 0, LParam lParam = 0) {
        return target ? target->OnMessage(code, wParam, lParam) : 0;
    }
    // Thread-safe: queues the message for the pump's thread.
    virtual void Post(IMessageTarget* target, std::uint32_t code, WParam wParam = 0, LParam lParam = 0) = 0;
    virtual void SetTimer(IMessageTarget* target, std::uint32_t id, std::uint32_t ms) = 0;
    virtual void KillTimer(IMessageTarget* target, std::uint32_t id) = 0;
    // Drops every queued message and timer of the target.
    virtual void Forget(IMessageTarget* target) = 0;
    // Monotonic milliseconds (the tick count).
    virtual std::uint32_t TickCount() const = 0;
};

// A message target that unregisters itself from its pump when destroyed.
class CMessageTarget : public IMessageTarget {
  public:
    explicit CMessageTarget(IMessagePump& pump) : m_pump(pump) {}
    CMessageTarget(const CMessageTarget&) = delete;
    CMessageTarget& operator=(const CMessageTarget&) = delete;
    IMessagePump& Pump() const { return m_pump; }

  protected:
    ~CMessageTarget() { m_pump.Forget(this); }

  private:
    IMessagePump& m_pump;
};

}  // namespace rm7
