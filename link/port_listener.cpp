#include "link/port_listener.h"

#include <utility>

#include "platform/result.h"

namespace rm7 {

Result CPortListener::Prepare() {
    auto stop = std::make_unique<CEventFd>();
    if (!stop->Valid()) {
        return kErrorNoSystemResources;
    }
    m_prepared = std::move(stop);
    return kOk;
}

std::uint32_t CPortListener::Start(Wait wait, Notify notify) {
    m_stop = std::move(m_prepared);
    m_noticePending = false;
    m_stopping = false;
    ++m_generation;
    m_thread = std::thread([this, wait = std::move(wait), notify = std::move(notify), generation = m_generation] {
        Listen(wait, notify, generation);
    });
    return m_generation;
}

void CPortListener::Stop() {
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_cv.notify_all();
        m_stop->Signal();
        m_thread.join();
    }
    m_stop.reset();
}

void CPortListener::Listen(const Wait& wait, const Notify& notify, std::uint32_t generation) {
    for (;;) {
        bool readable = false;
        const Result r = wait(m_stop->Fd(), readable);
        std::unique_lock lock(m_mutex);
        if (m_stopping) {
            return;
        }
        if (r != kOk) {
            // Only the UI thread may close the port, so it is told; a job waiting for the radio
            // must not find out only when it next sends.
            notify(r, generation);
            return;
        }
        if (!readable) {
            continue;
        }
        m_noticePending = true;
        notify(kOk, generation);
        m_cv.wait(lock, [this] { return !m_noticePending || m_stopping; });
        if (m_stopping) {
            return;
        }
    }
}

void CPortListener::Acknowledge() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_noticePending) {
            return;
        }
        m_noticePending = false;
    }
    m_cv.notify_all();
}

void CPortListener::Retire() {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
    m_noticePending = false;
    m_cv.notify_all();
}

}  // namespace rm7
