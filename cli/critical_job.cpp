#include "cli/critical_job.h"

namespace rm7::cli {

CCriticalJob::CCriticalJob(IRunLoop& loop, Texts texts, std::function<void(const std::string&)> say,
                           std::function<bool()> stop)
    : m_loop(loop), m_texts(std::move(texts)), m_say(std::move(say)), m_stop(std::move(stop)) {
    m_loop.CatchInterrupts([this] { OnInterrupt(); });
}

CCriticalJob::~CCriticalJob() {
    m_loop.CatchInterrupts(nullptr);
}

void CCriticalJob::OnInterrupt() {
    const std::uint32_t now = m_loop.Pump().TickCount();
    if (m_stopped) {
        m_say(m_texts.stopping);  // the next boundary is at most one retry cycle away
        return;
    }
    if (!m_warned || now - m_warnedAt > kStopWindowMs) {
        // A second signal long after the first is a new first one: it warns again.
        m_warned = true;
        m_warnedAt = now;
        m_say(m_texts.caption);
        m_say(m_texts.goesOn);
        return;
    }
    m_warned = false;
    if (m_stop()) {
        m_stopped = true;
        m_say(m_texts.stopping);
    } else {
        m_say(m_texts.finishing);
    }
}

}  // namespace rm7::cli
