// What the pump does the same on every system: the queue's posts and timers, the loops, the
// watched descriptors' table. NowMs() and Cycle(), which wait on the system, are the system's own
// (poll_pump.cpp, win/poll_pump.cpp).
#include <algorithm>
#include <climits>
#include <utility>

#include "platform/poll_pump.h"

namespace rm7 {

void CPollPump::Post(IMessageTarget* target, std::uint32_t code, WParam wParam, LParam lParam) {
    m_queue.Post(target, code, wParam, lParam);
    m_wake.Signal();
}

void CPollPump::SetTimer(IMessageTarget* target, std::uint32_t id, std::uint32_t ms) {
    m_queue.SetTimer(target, id, ms, NowMs());
}

void CPollPump::KillTimer(IMessageTarget* target, std::uint32_t id) {
    m_queue.KillTimer(target, id);
}

void CPollPump::Forget(IMessageTarget* target) {
    m_queue.Forget(target);
}

std::uint32_t CPollPump::TickCount() const {
    return static_cast<std::uint32_t>(NowMs());
}

void CPollPump::Quit() {
    m_quit.store(true);
    m_wake.Signal();
}

void CPollPump::Run() {
    while (!m_quit.load()) {
        Cycle(-1, nullptr);
    }
    m_quit.store(false);
}

bool CPollPump::RunUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) {
    const std::uint64_t deadline = NowMs() + timeoutMs;
    while (!done()) {
        if (m_quit.exchange(false)) {
            break;
        }
        const std::uint64_t now = NowMs();
        if (now >= deadline) {
            break;
        }
        Cycle(static_cast<int>(std::min<std::uint64_t>(deadline - now, INT_MAX)), &done);
    }
    return done();
}

bool CPollPump::RunOnce(int maxWaitMs) {
    return Cycle(maxWaitMs, nullptr);
}

void CPollPump::WatchFd(int fd, std::function<void()> onReadable) {
    m_watches[fd] = std::make_shared<std::function<void()>>(std::move(onReadable));
}

void CPollPump::UnwatchFd(int fd) {
    m_watches.erase(fd);
}

}  // namespace rm7
