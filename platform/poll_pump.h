#pragma once
// The message pump of the command-line tool and the simulator: poll(2) on an eventfd that Post()
// signals, the shared timer table on CLOCK_MONOTONIC milliseconds, and any descriptors the caller
// wants watched for input.
//
// Post() and Quit() are thread-safe (Quit is also async-signal-safe: an atomic store and a write);
// everything else, and every handler and fd callback, runs on the thread that runs the pump.
// Timers behave as in CManualPump: periodic, re-armed from now by SetTimer, fired in due order,
// 0 ms counting as 1 ms.
#include "platform/event_fd.h"
#include "platform/message_pump.h"
#include "platform/pump_queue.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace rm7 {

class CPollPump final : public IMessagePump {
  public:
    CPollPump() = default;
    CPollPump(const CPollPump&) = delete;
    CPollPump& operator=(const CPollPump&) = delete;

    void Post(IMessageTarget* target, std::uint32_t code, WParam wParam = 0, LParam lParam = 0) override;
    void SetTimer(IMessageTarget* target, std::uint32_t id, std::uint32_t ms) override;
    void KillTimer(IMessageTarget* target, std::uint32_t id) override;
    void Forget(IMessageTarget* target) override;
    std::uint32_t TickCount() const override;

    // Runs until Quit(). A Quit() made before Run() makes it return at once.
    void Run();
    void Quit();
    // Runs until done() holds (checked after each delivered message, timer and fd callback),
    // timeoutMs pass, or Quit() is called; returns done().
    bool RunUntil(const std::function<bool()>& done, std::uint32_t timeoutMs);
    // Waits up to maxWaitMs (-1: no limit) for work, does what is ready; true when anything ran.
    bool RunOnce(int maxWaitMs);

    // Calls onReadable on the pump's thread whenever fd is readable, at end of file or in error,
    // until UnwatchFd(fd); it may be called when a read would find nothing, so read non-blocking.
    // A descriptor closed while watched gets one last call and is then unwatched.
    void WatchFd(int fd, std::function<void()> onReadable);
    void UnwatchFd(int fd);

    std::size_t ArmedTimers() const { return m_queue.ArmedTimers(); }

  private:
    bool Cycle(int maxWaitMs, const std::function<bool()>* done);
    static std::uint64_t NowMs();

    CPumpQueue m_queue;
    CEventFd m_wake;
    std::atomic<bool> m_quit{false};
    std::map<int, std::shared_ptr<std::function<void()>>> m_watches;
};

}  // namespace rm7
