#pragma once
// The message pump of the desktop application, on Qt's event loop: the state machines, the
// serial notice and the timers run there exactly as under the poll pump.
//
// Threads: construct, use and destroy on the GUI thread. Post() alone may be called from any
// thread (the serial listener's); it goes through QCoreApplication::postEvent, so messages
// posted by one thread arrive in that thread's order.
//
// Timers are per (target, id), periodic until KillTimer, re-armed from now by SetTimer; 0 ms
// counts as 1 ms, so a periodic timer can never starve the loop. Forget(target) drops the
// target's timers and every message posted to it before the call.
#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/message_pump.h"

namespace rm7 {

class CQtPump final : public QObject, public IMessagePump {
  public:
    CQtPump();
    ~CQtPump() override;

    void Post(IMessageTarget* target, std::uint32_t code, WParam wParam = 0, LParam lParam = 0) override;
    void SetTimer(IMessageTarget* target, std::uint32_t id, std::uint32_t ms) override;
    void KillTimer(IMessageTarget* target, std::uint32_t id) override;
    void Forget(IMessageTarget* target) override;
    std::uint32_t TickCount() const override;

    std::size_t ArmedTimers() const { return m_timers.size(); }

  protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    using TimerKey = std::pair<IMessageTarget*, std::uint32_t>;

    // The target's generation: Forget() moves it on, so posts stamped before are dropped.
    std::uint64_t Generation(IMessageTarget* target) const;

    QElapsedTimer m_clock;
    mutable std::mutex m_mutex;  // guards m_generations, read by posting threads
    std::unordered_map<IMessageTarget*, std::uint64_t> m_generations;
    std::map<TimerKey, int> m_timers;            // -> Qt timer id
    std::unordered_map<int, TimerKey> m_byQtId;  // Qt timer id -> key
};

}  // namespace rm7
