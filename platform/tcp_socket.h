#pragma once
// The socket side of a serial port put on the network: a TCP connection made within a deadline
// (the name resolved within it too), non-blocking, with no Nagle delay, and with keep-alive
// probes and a user time-out so a far end that went silent is noticed as a lost connection.
//
// One object, one connection. Send/Receive belong to one thread at a time; WaitReadable may run
// on a listener thread while the owner sends and receives, but Close() must not run until that
// wait has ended (signal the stop fd first).
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/result.h"

namespace rm7 {

class CTcpSocket {
  public:
    CTcpSocket() = default;
    ~CTcpSocket() { Close(); }
    CTcpSocket(const CTcpSocket&) = delete;
    CTcpSocket& operator=(const CTcpSocket&) = delete;

    // kErrNetNameNotFound, kErrNetRefused, kErrNetUnreachable or kErrNetNoAnswer (the deadline
    // passed) on failure, which leaves nothing open. Connecting a connected socket changes nothing.
    Result Connect(const std::string& host, std::uint16_t port, int deadlineMs);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    // All n bytes, waiting while the send buffer is full; kErrNetSilent when it has not moved for
    // the stall limit, kErrNetClosed when the far end has gone.
    Result Send(const void* data, std::size_t n);
    // Whatever is waiting, up to len bytes; count 0 when nothing is. The far end's orderly close
    // is kErrNetClosed once everything before it has been received.
    Result Receive(void* buf, std::size_t len, std::size_t& count);
    // Waits until bytes or the far end's close can be received (readable = true), stopFd becomes
    // readable or timeoutMs (-1: no limit) pass (both readable = false, success).
    Result WaitReadable(int stopFd, int timeoutMs, bool& readable);

    void SetSendStallLimit(int ms) { m_sendStallMs = ms; }

  private:
    int m_fd = -1;
    int m_sendStallMs = 5000;
};

}  // namespace rm7
