#include "app/qt_pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimerEvent>

#include <algorithm>

namespace rm7 {

namespace {

const QEvent::Type kPostedMessage = static_cast<QEvent::Type>(QEvent::registerEventType());

class CPostedMessage final : public QEvent {
  public:
    CPostedMessage(IMessageTarget* target, std::uint32_t code, WParam wParam, LParam lParam, std::uint64_t generation)
        : QEvent(kPostedMessage), target(target), code(code), wParam(wParam), lParam(lParam), generation(generation) {}

    IMessageTarget* target;
    std::uint32_t code;
    WParam wParam;
    LParam lParam;
    std::uint64_t generation;
};

}  // namespace

CQtPump::CQtPump() {
    m_clock.start();
}

CQtPump::~CQtPump() {
    for (const auto& [key, qtId] : m_timers) {
        killTimer(qtId);
    }
}

std::uint64_t CQtPump::Generation(IMessageTarget* target) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_generations.find(target);
    return found == m_generations.end() ? 0 : found->second;
}

void CQtPump::Post(IMessageTarget* target, std::uint32_t code, WParam wParam, LParam lParam) {
    if (target == nullptr) {
        return;
    }
    QCoreApplication::postEvent(this, new CPostedMessage(target, code, wParam, lParam, Generation(target)));
}

bool CQtPump::event(QEvent* event) {
    if (event->type() != kPostedMessage) {
        return QObject::event(event);
    }
    const auto* message = static_cast<CPostedMessage*>(event);
    if (message->generation == Generation(message->target)) {
        Send(message->target, message->code, message->wParam, message->lParam);
    }
    return true;
}

void CQtPump::SetTimer(IMessageTarget* target, std::uint32_t id, std::uint32_t ms) {
    KillTimer(target, id);
    const int qtId = startTimer(static_cast<int>(std::clamp<std::uint32_t>(ms, 1, 0x7FFFFFFF)), Qt::PreciseTimer);
    if (qtId == 0) {
        return;  // Qt could not arm it; the machine's wait then never ends, as a failed SetTimer
    }
    m_timers[{target, id}] = qtId;
    m_byQtId[qtId] = {target, id};
}

void CQtPump::KillTimer(IMessageTarget* target, std::uint32_t id) {
    const auto found = m_timers.find({target, id});
    if (found == m_timers.end()) {
        return;
    }
    killTimer(found->second);
    m_byQtId.erase(found->second);
    m_timers.erase(found);
}

void CQtPump::Forget(IMessageTarget* target) {
    {
        std::lock_guard lock(m_mutex);
        ++m_generations[target];
    }
    for (auto it = m_timers.lower_bound({target, 0}); it != m_timers.end() && it->first.first == target;) {
        killTimer(it->second);
        m_byQtId.erase(it->second);
        it = m_timers.erase(it);
    }
}

void CQtPump::timerEvent(QTimerEvent* event) {
    const auto found = m_byQtId.find(event->timerId());
    if (found == m_byQtId.end()) {
        return;
    }
    // The handler may kill or re-arm this timer, or forget its target: copy the key first.
    const TimerKey key = found->second;
    Send(key.first, kMsgTimer, key.second, 0);
}

std::uint32_t CQtPump::TickCount() const {
    return static_cast<std::uint32_t>(m_clock.elapsed());
}

}  // namespace rm7
