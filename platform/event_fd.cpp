#include "platform/event_fd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace rm7 {

CEventFd::CEventFd() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CEventFd::~CEventFd() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void CEventFd::Signal() {
    if (m_fd < 0) {
        return;
    }
    const std::uint64_t one = 1;
    // EAGAIN means the counter is saturated: it is signalled already.
    while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void CEventFd::Reset() {
    if (m_fd < 0) {
        return;
    }
    std::uint64_t count = 0;
    // One read returns and clears the whole counter; EAGAIN means it was not signalled.
    while (::read(m_fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

}  // namespace rm7
