#include "platform/poll_pump.h"

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace rm7 {

std::uint64_t CPollPump::NowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

bool CPollPump::Cycle(int maxWaitMs, const std::function<bool()>* done) {
    int wait = maxWaitMs < 0 ? -1 : maxWaitMs;
    if (m_queue.PendingPosts() > 0 || m_quit.load()) {
        wait = 0;
    } else if (const auto due = m_queue.NextDue()) {
        const std::uint64_t now = NowMs();
        const std::uint64_t untilDue = *due > now ? *due - now : 0;
        if (wait < 0 || untilDue < static_cast<std::uint64_t>(wait)) {
            wait = static_cast<int>(std::min<std::uint64_t>(untilDue, INT_MAX));
        }
    }

    std::vector<pollfd> fds;
    fds.reserve(m_watches.size() + 1);
    fds.push_back({m_wake.Fd(), POLLIN, 0});
    for (const auto& [fd, callback] : m_watches) {
        fds.push_back({fd, POLLIN, 0});
    }
    if (::poll(fds.data(), fds.size(), wait) < 0) {
        fds.resize(1);  // EINTR: nothing is known to be ready, but posts and timers may be
        fds[0].revents = 0;
    }
    // Cleared before the queue is read, so a post that lands after the read signals again.
    if (fds[0].revents != 0) {
        m_wake.Reset();
    }

    bool delivered = false;
    const auto stop = [&] {
        delivered = true;
        return done && (*done)();
    };

    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        auto it = m_watches.find(fds[i].fd);
        if (it == m_watches.end()) {
            continue;  // unwatched by an earlier callback
        }
        const auto callback = it->second;
        (*callback)();
        if (fds[i].revents & POLLNVAL) {
            auto again = m_watches.find(fds[i].fd);
            if (again != m_watches.end() && again->second == callback) {
                m_watches.erase(again);
            }
        }
        if (stop()) {
            return true;
        }
    }

    // Only the posts already queued: a handler that keeps posting must not starve timers and fds.
    for (std::size_t n = m_queue.PendingPosts(); n > 0 && m_queue.DeliverPost(); --n) {
        if (stop()) {
            return true;
        }
    }
    const std::uint64_t now = NowMs();
    while (m_queue.FireDueTimer(now)) {
        if (stop()) {
            return true;
        }
    }
    return delivered;
}

}  // namespace rm7
