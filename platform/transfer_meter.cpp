#include "platform/transfer_meter.h"

#include "platform/format.h"

namespace rm7 {

void CTransferMeter::Update(std::uint64_t done, std::uint64_t total, std::uint32_t nowMs) {
    if (!m_started && done > 0) {
        m_started = true;
        m_firstDone = done;
        m_firstMs = nowMs;
    }
    m_done = done;
    m_total = total;
    m_nowMs = nowMs;
}

double CTransferMeter::Rate() const {
    const std::uint32_t elapsed = m_nowMs - m_firstMs;
    if (!m_started || elapsed == 0 || m_done <= m_firstDone) {
        return 0;
    }
    return static_cast<double>(m_done - m_firstDone) * 1000.0 / elapsed;
}

std::string CTransferMeter::Text() const {
    const unsigned percent = m_total == 0 ? 100u : static_cast<unsigned>(m_done * 100 / m_total);
    std::string text = StrFormat("%4u%% %7llu/%llu bytes", percent, static_cast<unsigned long long>(m_done),
                                 static_cast<unsigned long long>(m_total));
    const double rate = Rate();
    if (rate <= 0) {
        return text + "   --.- kB/s   -:-- left";
    }
    const auto left = static_cast<unsigned long long>((static_cast<double>(m_total - m_done) / rate) + 0.5);
    return text + StrFormat("  %5.1f kB/s  %3llu:%02llu left", rate / 1000.0, left / 60, left % 60);
}

}  // namespace rm7
