#include "platform/pump_queue.h"

#include <algorithm>

namespace rm7 {

void CPumpQueue::Post(IMessageTarget* target, std::uint32_t code, WParam wParam, LParam lParam) {
    if (!target) {
        return;
    }
    std::lock_guard lock(m_mutex);
    m_posts.push_back({target, code, wParam, lParam});
}

void CPumpQueue::SetTimer(IMessageTarget* target, std::uint32_t id, std::uint32_t ms, std::uint64_t now) {
    if (!target) {
        return;
    }
    const std::uint32_t period = std::max<std::uint32_t>(ms, 1);
    std::lock_guard lock(m_mutex);
    m_timers[{target, id}] = Timer{now + period, period, ++m_seq};
}

void CPumpQueue::KillTimer(IMessageTarget* target, std::uint32_t id) {
    std::lock_guard lock(m_mutex);
    m_timers.erase({target, id});
}

void CPumpQueue::Forget(IMessageTarget* target) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_posts, [target](const Posted& p) { return p.target == target; });
    std::erase_if(m_timers, [target](const auto& entry) { return entry.first.first == target; });
}

std::size_t CPumpQueue::PendingPosts() const {
    std::lock_guard lock(m_mutex);
    return m_posts.size();
}

std::size_t CPumpQueue::ArmedTimers() const {
    std::lock_guard lock(m_mutex);
    return m_timers.size();
}

std::map<CPumpQueue::TimerKey, CPumpQueue::Timer>::const_iterator CPumpQueue::EarliestLocked() const {
    return std::min_element(m_timers.begin(), m_timers.end(), [](const auto& a, const auto& b) {
        return a.second.due != b.second.due ? a.second.due < b.second.due : a.second.seq < b.second.seq;
    });
}

std::optional<std::uint64_t> CPumpQueue::NextDue() const {
    std::lock_guard lock(m_mutex);
    if (m_timers.empty()) {
        return std::nullopt;
    }
    return EarliestLocked()->second.due;
}

bool CPumpQueue::DeliverPost() {
    Posted message;
    {
        std::lock_guard lock(m_mutex);
        if (m_posts.empty()) {
            return false;
        }
        message = m_posts.front();
        m_posts.pop_front();
    }
    message.target->OnMessage(message.code, message.wParam, message.lParam);
    return true;
}

bool CPumpQueue::FireDueTimer(std::uint64_t now) {
    IMessageTarget* target = nullptr;
    std::uint32_t id = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_timers.empty()) {
            return false;
        }
        auto earliest = EarliestLocked();
        if (earliest->second.due > now) {
            return false;
        }
        target = earliest->first.first;
        id = earliest->first.second;
        // Periodic like a window timer: armed again before the handler, which may kill or re-arm it.
        auto& timer = m_timers.at(earliest->first);
        timer.due = now + timer.period;
        timer.seq = ++m_seq;
    }
    target->OnMessage(kMsgTimer, id, 0);
    return true;
}

}  // namespace rm7
