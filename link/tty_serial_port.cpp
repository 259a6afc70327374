#include "link/tty_serial_port.h"

#include "model/messages.h"
#include "model/user_notifier.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"

namespace rm7 {

Result CSerialPort::Open(const std::string& name) {
    if (IsOpen()) {
        return kOk;
    }
    m_name = name;
    if (name.empty()) {
        SetLastError(kErrPortNameMissing);
        return kErrPortNameMissing;
    }
    if (const Result r = m_listener.Prepare(); r != kOk) {
        return Report("CreateEvent", r);
    }
    // The caller shows its own message for a port that will not open.
    const Result r = m_tty.Open(name);
    if (r != kOk) {
        return r;
    }
    m_speed = m_tty.Speed();
    m_rx.clear();
    m_rxPos = 0;
    m_lostError = 0;
    m_listener.Start([this](int stopFd, bool& readable) { return m_tty.WaitReadable(stopFd, -1, readable); },
                     [this](Result why, std::uint32_t generation) {
                         if (why == kOk) {
                             m_pump.Post(m_target, kMsgSerialNotice, 0, 0);
                         } else {
                             // The device has gone: the port closes itself on the UI thread.
                             m_pump.Post(this, kMsgPortLost, generation, static_cast<LParam>(why));
                         }
                     });
    return kOk;
}

void CSerialPort::Close() {
    m_listener.Stop();
    m_tty.Close();
    m_rx.clear();
    m_rxPos = 0;
}

Result CSerialPort::NotOpen() {
    const Result r = m_lostError != 0 ? m_lostError : kErrorInvalidHandle;
    SetLastError(r);
    return r;
}

Result CSerialPort::Report(const char* call, Result code) {
    // No box: the code goes back to the caller, whose job says the failure once, in its outcome
    // (a machine traces which call it was).
    (void)call;
    if (IsOpen() && (code == kErrorAccessDenied || code == kErrPortGone)) {
        Lose(code);
    }
    SetLastError(code);
    return code;
}

void CSerialPort::Lose(Result why) {
    Close();
    m_lostError = why;
    // Posted: the session ends the running job, which must not happen inside the job's own call.
    m_pump.Post(m_target, kMsgPortLost, static_cast<WParam>(why), 0);
}

bool CSerialPort::Write(const void* bytes, std::size_t length) {
    if (bytes == nullptr || length == 0) {
        return true;
    }
    if (!IsOpen()) {
        NotOpen();
        return false;
    }
    const Result r = m_tty.Write(bytes, length);
    if (r != kOk) {
        Report("WriteFile", r);
        return false;
    }
    return true;
}

bool CSerialPort::Read(void* buffer, std::size_t length, std::size_t& count) {
    count = 0;
    if (!IsOpen()) {
        NotOpen();
        return false;
    }
    if (m_rxPos >= m_rx.size()) {
        m_rx.resize(4096);
        m_rxPos = 0;
        std::size_t got = 0;
        const Result r = m_tty.Read(m_rx.data(), m_rx.size(), got);
        m_rx.resize(r == kOk ? got : 0);
        if (r != kOk) {
            Report("ReadFile", r);
            return false;
        }
        if (got == 0) {
            m_listener.Acknowledge();
            return true;
        }
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (count < length && m_rxPos < m_rx.size()) {
        out[count++] = m_rx[m_rxPos++];
    }
    if (m_rxPos >= m_rx.size()) {
        m_listener.Acknowledge();
    } else if (!m_selfNotice) {
        // The reader stops at the end of one answer; the next answer must not wait for
        // bytes that may never come.
        m_selfNotice = true;
        m_pump.Post(this, kMsgSerialNotice, 0, 0);
    }
    return true;
}

LResult CSerialPort::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    if (code == kMsgPortLost) {
        // A notice from the listener of an earlier opening is stale.
        if (IsOpen() && wParam == m_listener.Generation()) {
            Lose(static_cast<Result>(lParam));
        }
        return 0;
    }
    m_selfNotice = false;
    if (code == kMsgSerialNotice && IsOpen() && m_rxPos < m_rx.size()) {
        return m_pump.Send(m_target, code, wParam, lParam);
    }
    return 0;
}

Result CSerialPort::PurgeReceive() {
    if (!IsOpen()) {
        return NotOpen();
    }
    m_rx.clear();
    m_rxPos = 0;
    const Result r = m_tty.Purge();
    m_listener.Acknowledge();
    return r == kOk ? kOk : Report("PurgeComm", r);
}

Result CSerialPort::SetSpeed(std::uint32_t bitsPerSecond) {
    if (!IsOpen()) {
        return NotOpen();
    }
    const Result r = m_tty.SetSpeed(bitsPerSecond);
    m_speed = m_tty.Speed();
    return r == kOk ? kOk : Report("SetCommState", r);
}

}  // namespace rm7
