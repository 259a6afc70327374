#include "platform/tcp_socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/address_lookup.h"
#include "platform/os_error.h"
#include "platform/result_codes.h"

namespace rm7 {

namespace {

std::int64_t NowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int MsLeft(std::int64_t deadline) {
    const std::int64_t left = deadline - NowMs();
    return left > 0 ? static_cast<int>(left) : 0;
}

// What a socket's errno means for the connection. Network conditions are not file conditions,
// so they have codes of their own here; everything else goes through the one errno table.
Result ConnectError(int err) {
    switch (err) {
        case ECONNREFUSED:
            return kErrNetRefused;
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENETDOWN:
        case EHOSTDOWN:
        case EADDRNOTAVAIL:
            return kErrNetUnreachable;
        case ETIMEDOUT:
            return kErrNetNoAnswer;
        default:
            return ResultFromErrno(err);
    }
}

Result ConnectedError(int err) {
    switch (err) {
        case ECONNRESET:
        case ECONNABORTED:
        case EPIPE:
        case ENOTCONN:
        case ESHUTDOWN:
            return kErrNetClosed;
        // The user time-out or the keep-alive probes ran out: nothing came back from the far end.
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case ENETUNREACH:
            return kErrNetSilent;
        default:
            return ResultFromErrno(err);
    }
}

using address_lookup::Lookup;

Result Resolve(const std::string& host, std::uint16_t port, std::int64_t deadline, std::shared_ptr<Lookup>& out) {
    std::shared_ptr<Lookup> lookup;
    if (const Result r = address_lookup::LookUp(host, port, MsLeft(deadline), lookup); r != kOk) {
        return r;
    }
    if (lookup->status == EAI_NONAME || lookup->status == EAI_NODATA || lookup->status == EAI_FAIL ||
        lookup->status == EAI_AGAIN) {
        return kErrNetNameNotFound;
    }
    if (lookup->status == EAI_SYSTEM) {
        return ResultFromErrno(errno);
    }
    if (lookup->status != 0 || lookup->list == nullptr) {
        return kErrNetNameNotFound;
    }
    out = lookup;
    return kOk;
}

void SetOption(int fd, int level, int name, int value) {
    // Each is a refinement: a connection without one still works.
    (void)::setsockopt(fd, level, name, &value, sizeof value);
}

Result ConnectOne(const addrinfo& a, std::int64_t deadline, int& fdOut) {
    const int fd = ::socket(a.ai_family, a.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.ai_protocol);
    if (fd < 0) {
        return ResultFromErrno(errno);
    }
    // The boot loader waits for each packet's answer: a small write must leave at once.
    SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    // A far end that vanishes without a word (power cut, link down) ends the connection within
    // some 10 s, whether the program is sending (user time-out) or waiting (keep-alive).
    SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, 4);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, 2);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, 3);
    SetOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, 10000);
    int r;
    do {
        r = ::connect(fd, a.ai_addr, a.ai_addrlen);
    } while (r < 0 && errno == EINTR);
    if (r < 0 && errno != EINPROGRESS) {
        const int err = errno;
        ::close(fd);
        return ConnectError(err);
    }
    while (r < 0) {
        pollfd pfd{fd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, MsLeft(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            const int err = ready == 0 ? ETIMEDOUT : errno;
            ::close(fd);
            return ConnectError(err);
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
            err = errno;
        }
        if (err != 0) {
            ::close(fd);
            return ConnectError(err);
        }
        r = 0;
    }
    fdOut = fd;
    return kOk;
}

}  // namespace

Result CTcpSocket::Connect(const std::string& host, std::uint16_t port, int deadlineMs) {
    if (IsOpen()) {
        return kOk;
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
        ::close(m_fd);
        m_fd = -1;
    }
}

Result CTcpSocket::Send(const void* data, std::size_t n) {
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::int64_t lastProgress = NowMs();
    while (n > 0) {
        const ssize_t sent = ::send(m_fd, p, n, MSG_NOSIGNAL);
        if (sent > 0) {
            p += sent;
            n -= static_cast<std::size_t>(sent);
            lastProgress = NowMs();
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return ConnectedError(errno);
        }
        const std::int64_t left = lastProgress + m_sendStallMs - NowMs();
        if (left <= 0) {
            return kErrNetSilent;
        }
        pollfd pfd{m_fd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) {
            return ResultFromErrno(errno);
        }
    }
    return kOk;
}

Result CTcpSocket::Receive(void* buf, std::size_t len, std::size_t& count) {
    count = 0;
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    for (;;) {
        const ssize_t got = ::recv(m_fd, buf, len, 0);
        if (got > 0) {
            count = static_cast<std::size_t>(got);
            return kOk;
        }
        if (got == 0) {
            return len == 0 ? kOk : kErrNetClosed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return kOk;
        }
        return ConnectedError(errno);
    }
}

Result CTcpSocket::WaitReadable(int stopFd, int timeoutMs, bool& readable) {
    readable = false;
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    const std::int64_t deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
    for (;;) {
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {m_fd, POLLIN | POLLRDHUP, 0}};
        const int wait = deadline < 0 ? -1 : MsLeft(deadline);
        const int ready = stopFd >= 0 ? ::poll(fds, 2, wait) : ::poll(&fds[1], 1, wait);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ResultFromErrno(errno);
        }
        if (ready == 0 || (stopFd >= 0 && fds[0].revents != 0)) {
            return kOk;
        }
        if (fds[1].revents & POLLNVAL) {
            return kErrorInvalidHandle;
        }
        // A close or a failure is read too: whatever came before it is taken first.
        readable = fds[1].revents != 0;
        return kOk;
    }
}

}  // namespace rm7
