#include "platform/manual_pump.h"

namespace rm7 {

void CManualPump::Post(IMessageTarget* target, std::uint32_t code, WParam wParam, LParam lParam) {
    m_queue.Post(target, code, wParam, lParam);
}

void CManualPump::SetTimer(IMessageTarget* target, std::uint32_t id, std::uint32_t ms) {
    m_queue.SetTimer(target, id, ms, m_now);
}

void CManualPump::KillTimer(IMessageTarget* target, std::uint32_t id) {
    m_queue.KillTimer(target, id);
}

void CManualPump::Forget(IMessageTarget* target) {
    m_queue.Forget(target);
}

void CManualPump::RunUntilIdle() {
    while (m_queue.DeliverPost() || m_queue.FireDueTimer(m_now)) {
    }
}

void CManualPump::AdvanceBy(std::uint32_t ms) {
    const std::uint64_t end = m_now + ms;
    RunUntilIdle();
    for (auto due = m_queue.NextDue(); due && *due <= end; due = m_queue.NextDue()) {
        m_now = *due;
        RunUntilIdle();
    }
    m_now = end;
    RunUntilIdle();
}

bool CManualPump::AdvanceUntil(const std::function<bool()>& done, std::uint32_t maxMs) {
    const std::uint64_t end = m_now + maxMs;
    RunUntilIdle();
    while (!done()) {
        const auto due = m_queue.NextDue();
        if (!due || *due > end) {
            m_now = end;
            RunUntilIdle();
            break;
        }
        m_now = *due;
        RunUntilIdle();
    }
    return done();
}

}  // namespace rm7
