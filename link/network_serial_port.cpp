#include "link/network_serial_port.h"

#include "model/messages.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"

namespace rm7 {

namespace {

// What one notice takes from the socket at most, so a far end that never stops sending cannot
// hold the UI thread; the listener announces the rest.
constexpr std::size_t kTakeLimit = 64 * 1024;
// Unread data beyond this is dropped, as a tty's input queue overflows.
constexpr std::size_t kUnreadLimit = 1024 * 1024;

bool SupportedSpeed(std::uint32_t bps) {
    for (std::uint32_t s : {4800u, 9600u, 19200u, 38400u, 57600u, 115200u, 230400u}) {
        if (s == bps) {
            return true;
        }
    }
    return false;
}

// The listener's notice carries its opening in wParam and this mark in lParam; the port's own
// notice, for data a reader left, carries none.
constexpr LParam kFromListener = 1;

}  // namespace

Result CNetworkPort::Open(const std::string& name) {
    if (IsOpen()) {
        return kOk;
    }
    m_name = name;
    if (ParsePortName(name, m_address) != kOk || m_address.kind == PortKind::Device) {
        SetLastError(kErrNetBadPortName);
        return kErrNetBadPortName;
    }
    if (const Result r = m_listener.Prepare(); r != kOk) {
        SetLastError(r);
        return r;
    }
    if (const Result r = m_socket.Connect(m_address.host, m_address.port, m_connectDeadlineMs); r != kOk) {
        SetLastError(r);
        return r;
    }
    m_codec = CRfc2217Codec{};
    m_speed = 38400;
    m_rx.clear();
    m_rxPos = 0;
    m_ended = 0;
    m_lostError = 0;
    m_selfNotice = false;
    if (m_address.kind == PortKind::Rfc2217) {
        const std::string opening = m_codec.Opening(m_speed);
        if (const Result r = m_socket.Send(opening.data(), opening.size()); r != kOk) {
            m_socket.Close();
            SetLastError(r);
            return r;
        }
    }
    // Only a broken descriptor fails the wait; the UI thread's next receive says how, so a
    // failure is announced as data is.
    m_listener.Start([this](int stopFd, bool& readable) { return m_socket.WaitReadable(stopFd, -1, readable); },
                     [this](Result /*why*/, std::uint32_t generation) {
                         m_pump.Post(this, kMsgSerialNotice, generation, kFromListener);
                     });
    return kOk;
}

void CNetworkPort::Close() {
    m_listener.Stop();
    m_socket.Close();
    m_rx.clear();
    m_rxPos = 0;
}

bool CNetworkPort::Take() {
    if (m_ended != 0) {
        return false;
    }
    if (m_rxPos > 0) {
        m_rx.erase(m_rx.begin(), m_rx.begin() + static_cast<std::ptrdiff_t>(m_rxPos));
        m_rxPos = 0;
    }
    std::uint8_t buffer[4096];
    std::string reply;
    std::size_t taken = 0;
    while (taken < kTakeLimit) {
        std::size_t got = 0;
        const Result r = m_socket.Receive(buffer, sizeof buffer, got);
        if (r != kOk) {
            m_ended = r == kErrNetClosed || r == kErrNetSilent ? r : kErrNetClosed;
            break;
        }
        if (got == 0) {
            break;
        }
        taken += got;
        if (m_address.kind == PortKind::Rfc2217) {
            m_codec.Receive(buffer, got, m_rx, reply);
        } else {
            m_rx.insert(m_rx.end(), buffer, buffer + got);
        }
    }
    if (m_rx.size() > kUnreadLimit) {
        m_rx.erase(m_rx.begin(), m_rx.end() - static_cast<std::ptrdiff_t>(kUnreadLimit));
    }
    if (m_ended == 0 && !reply.empty()) {
        // The far end waits for these before it takes line settings; a failure shows at once.
        if (const Result r = m_socket.Send(reply.data(), reply.size()); r != kOk) {
            m_ended = IsPortLost(r) ? r : kErrNetClosed;
        }
    }
    if (m_ended != 0) {
        // A closed connection stays readable: the listener's work is done.
        m_listener.Retire();
        return false;
    }
    // Whatever is still waiting is announced again by the listener.
    m_listener.Acknowledge();
    return true;
}

LResult CNetworkPort::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    if (code != kMsgSerialNotice || !IsOpen()) {
        return 0;
    }
    if (lParam == kFromListener) {
        // A notice from the listener of an earlier opening is stale.
        if (wParam != m_listener.Generation()) {
            return 0;
        }
        Take();
    } else {
        m_selfNotice = false;
    }
    if (m_rxPos < m_rx.size()) {
        m_pump.Send(m_target, kMsgSerialNotice, 0, 0);
    }
    // Once the reader has had what came before the end (or wants no more of it now), the port is
    // lost as a pulled cable is.
    if (IsOpen() && m_ended != 0 && (m_rxPos >= m_rx.size() || !m_selfNotice)) {
        Lose(m_ended);
    }
    return 0;
}

Result CNetworkPort::NotOpen() {
    const Result r = m_lostError != 0 ? m_lostError : kErrorInvalidHandle;
    SetLastError(r);
    return r;
}

void CNetworkPort::Lose(Result why) {
    Close();
    m_lostError = why;
    SetLastError(why);
    // Posted: the session ends the running job, which must not happen inside the job's own call.
    m_pump.Post(m_target, kMsgPortLost, static_cast<WParam>(why), 0);
}

Result CNetworkPort::Fail(Result why) {
    if (IsPortLost(why)) {
        if (IsOpen()) {
            Lose(why);
        }
    }
    SetLastError(why);
    return why;
}

Result CNetworkPort::SendRaw(const std::string& bytes) {
    if (m_ended != 0) {
        return m_ended;
    }
    return m_socket.Send(bytes.data(), bytes.size());
}

bool CNetworkPort::Write(const void* bytes, std::size_t length) {
    if (bytes == nullptr || length == 0) {
        return true;
    }
    if (!IsOpen()) {
        NotOpen();
        return false;
    }
    std::string wire;
    if (m_address.kind == PortKind::Rfc2217) {
        CRfc2217Codec::EncodeData(bytes, length, wire);
    } else {
        wire.assign(static_cast<const char*>(bytes), length);
    }
    const Result r = SendRaw(wire);
    if (r != kOk) {
        Fail(r);
        return false;
    }
    return true;
}

bool CNetworkPort::Read(void* buffer, std::size_t length, std::size_t& count) {
    count = 0;
    if (!IsOpen()) {
        NotOpen();
        return false;
    }
    if (m_rxPos >= m_rx.size()) {
        Take();
    }
    if (m_rxPos >= m_rx.size() && m_ended != 0) {
        Fail(m_ended);
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
        // The reader stops at the end of one answer; the next answer must not wait for bytes
        // that may never come.
        m_selfNotice = true;
        m_pump.Post(this, kMsgSerialNotice, 0, 0);
    }
    return true;
}

Result CNetworkPort::PurgeReceive() {
    if (!IsOpen()) {
        return NotOpen();
    }
    // The far end's option answers in what is dropped are still heard.
    Take();
    m_rx.clear();
    m_rxPos = 0;
    return m_ended != 0 ? Fail(m_ended) : kOk;
}

Result CNetworkPort::SetSpeed(std::uint32_t bitsPerSecond) {
    if (!IsOpen()) {
        return NotOpen();
    }
    if (!SupportedSpeed(bitsPerSecond)) {
        SetLastError(kErrorInvalidParameter);
        return kErrorInvalidParameter;
    }
    if (m_address.kind == PortKind::Rfc2217) {
        if (const Result r = SendRaw(CRfc2217Codec::SpeedCommand(bitsPerSecond)); r != kOk) {
            return Fail(r);
        }
    }
    m_speed = bitsPerSecond;
    return kOk;
}

}  // namespace rm7
