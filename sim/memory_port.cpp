#include "sim/memory_port.h"

#include <limits>

#include "link/timer_ids.h"
#include "model/messages.h"
#include "model/user_notifier.h"
#include "platform/error_text.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"
#include "sim/radio.h"

namespace rm7 {
namespace {
constexpr std::uint32_t kDeliveryTimer = kTimerMemoryPortDelivery;
}  // namespace

Result CMemoryPort::Open(const std::string& name) {
    if (m_open) {
        return kOk;
    }
    m_name = name;
    if (name.empty()) {
        SetLastError(kErrPortNameMissing);
        return kErrPortNameMissing;
    }
    if (m_openResult != kOk) {
        const Result r = m_openResult;
        m_openResult = kOk;
        return r;
    }
    m_open = true;
    m_speed = 38400;
    m_rx.clear();
    m_rxPos = 0;
    return kOk;
}

void CMemoryPort::Close() {
    m_open = false;
    m_rx.clear();
    m_rxPos = 0;
    m_pump.KillTimer(this, kDeliveryTimer);
}

bool CMemoryPort::Lost() {
    if (!m_radio.Unplugged()) {
        return false;
    }
    // A write that beat the listener's notice: the port closes itself, and the job it ends says so.
    Close();
    m_pump.Post(m_target, kMsgPortLost, kErrPortGone, 0);
    SetLastError(kErrPortGone);
    return true;
}

bool CMemoryPort::Write(const void* bytes, std::size_t length) {
    if (bytes == nullptr || length == 0) {
        return true;
    }
    if (!m_open) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    if (Lost()) {
        return false;
    }
    m_radio.Receive(static_cast<const std::uint8_t*>(bytes), length, m_speed, m_pump.TickCount());
    if (m_radio.Unplugged()) {
        // What CSerialPort's listener does when the device vanishes: a notice, handled later.
        m_pump.Post(this, kMsgPortLost, 0, 0);
        return true;
    }
    Schedule();
    return true;
}

bool CMemoryPort::Read(void* buffer, std::size_t length, std::size_t& count) {
    count = 0;
    if (!m_open) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (count < length && m_rxPos < m_rx.size()) {
        out[count++] = m_rx[m_rxPos++];
    }
    if (m_rxPos >= m_rx.size()) {
        m_rx.clear();
        m_rxPos = 0;
    } else if (!m_selfNotice) {
        m_selfNotice = true;
        m_pump.Post(this, kMsgSerialNotice, 0, 0);
    }
    return true;
}

Result CMemoryPort::PurgeReceive() {
    if (!m_open) {
        const Result r = m_radio.Unplugged() ? kErrPortGone : kErrorInvalidHandle;
        SetLastError(r);
        return r;
    }
    ++m_purges;
    m_rx.clear();
    m_rxPos = 0;
    return kOk;
}

Result CMemoryPort::SetSpeed(std::uint32_t bitsPerSecond) {
    if (!m_open) {
        return kErrorInvalidHandle;
    }
    m_speed = bitsPerSecond;
    m_speedHistory.push_back(bitsPerSecond);
    return kOk;
}

void CMemoryPort::Schedule() {
    const std::uint64_t due = m_radio.NextOutputDueMs();
    if (due == std::numeric_limits<std::uint64_t>::max()) {
        return;
    }
    const std::uint64_t now = m_pump.TickCount();
    if (due <= now) {
        m_pump.Post(this, kMsgMemoryPortDeliver, 0, 0);
    } else {
        m_pump.SetTimer(this, kDeliveryTimer, static_cast<std::uint32_t>(due - now));
    }
}

void CMemoryPort::Deliver() {
    if (!m_open) {
        return;
    }
    std::vector<std::uint8_t> out = m_radio.TakeOutput(m_pump.TickCount());
    if (!out.empty()) {
        m_rx.insert(m_rx.end(), out.begin(), out.end());
        m_pump.Post(m_target, kMsgSerialNotice, 0, 0);
    }
    Schedule();
}

LResult CMemoryPort::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    if (code == kMsgTimer && wParam == kDeliveryTimer) {
        m_pump.KillTimer(this, kDeliveryTimer);
        Deliver();
    } else if (code == kMsgMemoryPortDeliver) {
        Deliver();
    } else if (code == kMsgPortLost) {
        if (m_open) {
            Close();
            m_pump.Post(m_target, kMsgPortLost, kErrPortGone, 0);
        }
    } else if (code == kMsgSerialNotice) {
        m_selfNotice = false;
        if (m_open && m_rxPos < m_rx.size()) {
            return m_pump.Send(m_target, code, wParam, lParam);
        }
    }
    return 0;
}

}  // namespace rm7
