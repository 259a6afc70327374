#include "platform/poll_pump.h"

#include <io.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/win/wide_text.h"

namespace rm7 {

namespace {

HANDLE WaitableOf(int fd) {
    const intptr_t h = ::_get_osfhandle(fd);
    return h == -1 ? nullptr : reinterpret_cast<HANDLE>(h);
}

}  // namespace

std::uint64_t CPollPump::NowMs() {
    return ::GetTickCount64();
}

// The wake event and the watched descriptors' handles under WaitForMultipleObjects, then the
// posts and the due timers, as the POSIX pump does it with poll(2).
bool CPollPump::Cycle(int maxWaitMs, const std::function<bool()>* done) {
    DWORD wait = maxWaitMs < 0 ? INFINITE : static_cast<DWORD>(maxWaitMs);
    if (m_queue.PendingPosts() > 0 || m_quit.load()) {
        wait = 0;
    } else if (const auto due = m_queue.NextDue()) {
        const std::uint64_t now = NowMs();
        const std::uint64_t untilDue = *due > now ? *due - now : 0;
        if (wait == INFINITE || untilDue < wait) {
            wait = static_cast<DWORD>(std::min<std::uint64_t>(untilDue, 0x7FFFFFFF));
        }
    }

    std::vector<HANDLE> handles{IntToHandle(m_wake.Fd())};
    std::vector<int> fds{-1};
    std::vector<int> gone;
    for (const auto& [fd, callback] : m_watches) {
        if (HANDLE h = WaitableOf(fd); h != nullptr && handles.size() < MAXIMUM_WAIT_OBJECTS) {
            handles.push_back(h);
            fds.push_back(fd);
        } else {
            gone.push_back(fd);  // closed while watched: one last call
        }
    }
    const DWORD r = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, wait);
    std::vector<int> ready = gone;
    if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + handles.size()) {
        // Cleared before the queue is read, so a post that lands after the read signals again.
        m_wake.Reset();
        // Every handle that is signalled now, not only the first one the wait named.
        for (std::size_t i = 1; i < handles.size(); ++i) {
            if (::WaitForSingleObject(handles[i], 0) == WAIT_OBJECT_0) {
                ready.push_back(fds[i]);
            }
        }
    }

    bool delivered = false;
    const auto stop = [&] {
        delivered = true;
        return done && (*done)();
    };

    for (const int fd : ready) {
        auto it = m_watches.find(fd);
        if (it == m_watches.end()) {
            continue;  // unwatched by an earlier callback
        }
        const auto callback = it->second;
        (*callback)();
        if (std::find(gone.begin(), gone.end(), fd) != gone.end()) {
            auto again = m_watches.find(fd);
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
