// The network port's socket on Winsock (see tcp_socket.h). Winsock's error numbers are Windows
// error codes, so what is not a network condition of our own keeps the system's code and words.
#include "platform/tcp_socket.h"

// winsock2.h before the headers that build on it.
#include <winsock2.h>

#include <mstcpip.h>
#include <ws2tcpip.h>

#include <memory>

#include "platform/address_lookup.h"
#include "platform/result_codes.h"
#include "platform/win/wide_text.h"

namespace rm7 {

namespace {

std::int64_t NowMs() {
    return static_cast<std::int64_t>(::GetTickCount64());
}

int MsLeft(std::int64_t deadline) {
    const std::int64_t left = deadline - NowMs();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool StartWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// A socket kept in an int, as the header keeps it: Windows keeps a socket's significant bits within 32.
SOCKET AsSocket(int fd) {
    return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(fd);
}

Result ConnectError(int err) {
    switch (err) {
        case WSAECONNREFUSED:
            return kErrNetRefused;
        case WSAENETUNREACH:
        case WSAEHOSTUNREACH:
        case WSAENETDOWN:
        case WSAEHOSTDOWN:
        case WSAEADDRNOTAVAIL:
            return kErrNetUnreachable;
        case WSAETIMEDOUT:
            return kErrNetNoAnswer;
        default:
            return static_cast<Result>(err);
    }
}

Result ConnectedError(int err) {
    switch (err) {
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAENOTCONN:
        case WSAESHUTDOWN:
            return kErrNetClosed;
        // The keep-alive probes ran out: nothing came back from the far end.
        case WSAETIMEDOUT:
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
        case WSAENETRESET:
            return kErrNetSilent;
        default:
            return static_cast<Result>(err);
    }
}

using address_lookup::Lookup;

Result Resolve(const std::string& host, std::uint16_t port, std::int64_t deadline, std::shared_ptr<Lookup>& out) {
    std::shared_ptr<Lookup> lookup;
    if (const Result r = address_lookup::LookUp(host, port, MsLeft(deadline), lookup); r != kOk) {
        return r;
    }
    if (lookup->status != 0 || lookup->list == nullptr) {
        return kErrNetNameNotFound;
    }
    out = lookup;
    return kOk;
}

void SetOption(SOCKET s, int level, int name, int value) {
    // Each is a refinement: a connection without one still works.
    (void)::setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

// Waits until s is writable (connected or failed); 0 on time-out.
int WaitWritable(SOCKET s, int ms) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    return ::select(0, nullptr, &writable, &failed, &tv);
}

Result ConnectOne(const addrinfo& a, std::int64_t deadline, int& fdOut) {
    const SOCKET s = ::WSASocketW(a.ai_family, a.ai_socktype, a.ai_protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        return static_cast<Result>(::WSAGetLastError());
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    // The boot loader waits for each packet's answer: a small write must leave at once.
    SetOption(s, IPPROTO_TCP, TCP_NODELAY, 1);
    // A far end that vanishes without a word ends the connection within some seconds.
    tcp_keepalive keepAlive{1, 4000, 2000};
    DWORD returned = 0;
    (void)::WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned, nullptr, nullptr);
    if (::connect(s, a.ai_addr, static_cast<int>(a.ai_addrlen)) != 0) {
        const int err = ::WSAGetLastError();
        if (err != WSAEWOULDBLOCK) {
            ::closesocket(s);
            return ConnectError(err);
        }
        const int ready = WaitWritable(s, MsLeft(deadline));
        int soError = 0;
        int length = sizeof soError;
        if (ready <= 0 || ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length) != 0 ||
            soError != 0) {
            const int why = ready == 0 ? WSAETIMEDOUT : ready < 0 ? ::WSAGetLastError() : soError;
            ::closesocket(s);
            return ConnectError(why != 0 ? why : WSAECONNREFUSED);
        }
    }
    fdOut = static_cast<int>(s);
    return kOk;
}

}  // namespace

Result CTcpSocket::Connect(const std::string& host, std::uint16_t port, int deadlineMs) {
    if (IsOpen()) {
        return kOk;
    }
    if (!StartWinsock()) {
        return kErrorNoSystemResources;
    }
    const std::int64_t deadline = NowMs() + deadlineMs;
    std::shared_ptr<Lookup> lookup;
    if (const Result r = Resolve(host, port, deadline, lookup); r != kOk) {
        return r;
    }
    return address_lookup::ConnectToAny(
        lookup->list, [&] { return MsLeft(deadline) == 0; },
        [&](const addrinfo& address) {
            int fd = -1;
            const Result r = ConnectOne(address, deadline, fd);
            if (r == kOk) {
                m_fd = fd;
            }
            return r;
        });
}

void CTcpSocket::Close() {
    if (m_fd >= 0) {
        ::closesocket(AsSocket(m_fd));
        m_fd = -1;
    }
}

Result CTcpSocket::Send(const void* data, std::size_t n) {
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    const SOCKET s = AsSocket(m_fd);
    const auto* p = static_cast<const char*>(data);
    std::int64_t lastProgress = NowMs();
    while (n > 0) {
        const int chunk = n > 65536 ? 65536 : static_cast<int>(n);
        const int sent = ::send(s, p, chunk, 0);
        if (sent > 0) {
            p += sent;
            n -= static_cast<std::size_t>(sent);
            lastProgress = NowMs();
            continue;
        }
        const int err = ::WSAGetLastError();
        if (err != WSAEWOULDBLOCK) {
            return ConnectedError(err);
        }
        const std::int64_t left = lastProgress + m_sendStallMs - NowMs();
        if (left <= 0) {
            return kErrNetSilent;
        }
        WaitWritable(s, static_cast<int>(left));
    }
    return kOk;
}

Result CTcpSocket::Receive(void* buf, std::size_t len, std::size_t& count) {
    count = 0;
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    const int got = ::recv(AsSocket(m_fd), static_cast<char*>(buf), len > 65536 ? 65536 : static_cast<int>(len), 0);
    if (got > 0) {
        count = static_cast<std::size_t>(got);
        return kOk;
    }
    if (got == 0) {
        return len == 0 ? kOk : kErrNetClosed;
    }
    const int err = ::WSAGetLastError();
    return err == WSAEWOULDBLOCK ? kOk : ConnectedError(err);
}

Result CTcpSocket::WaitReadable(int stopFd, int timeoutMs, bool& readable) {
    readable = false;
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    const SOCKET s = AsSocket(m_fd);
    // An event for this wait: what arrives (or the close) after it is selected signals it; what
    // arrived before, select() sees at once.
    const WSAEVENT arrived = ::WSACreateEvent();
    if (arrived == WSA_INVALID_EVENT) {
        return static_cast<Result>(::WSAGetLastError());
    }
    Result result = kOk;
    if (::WSAEventSelect(s, arrived, FD_READ | FD_CLOSE) != 0) {
        result = static_cast<Result>(::WSAGetLastError());
    } else {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(s, &ready);
        timeval now{0, 0};
        const int already = ::select(0, &ready, nullptr, nullptr, &now);
        if (already < 0) {
            result = static_cast<Result>(::WSAGetLastError());
        } else if (already > 0) {
            readable = true;
        } else {
            // The stop first: when both are signalled, the stop wins, as it does on poll(2).
            HANDLE handles[2] = {IntToHandle(stopFd), arrived};
            const DWORD first = stopFd >= 0 ? 0 : 1;
            const DWORD wait = ::WaitForMultipleObjects(2 - first, handles + first, FALSE,
                                                        timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
            if (wait == WAIT_FAILED) {
                result = static_cast<Result>(::GetLastError());
            }
            readable = wait == WAIT_OBJECT_0 + (1 - first);
        }
        ::WSAEventSelect(s, nullptr, 0);
    }
    ::WSACloseEvent(arrived);
    return result;
}

}  // namespace rm7
