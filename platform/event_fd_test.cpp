#include "platform/event_fd.h"

#include <fcntl.h>
#include <poll.h>

#include <gtest/gtest.h>

#include <thread>

namespace rm7 {
namespace {

bool IsSignalled(const CEventFd& event, int waitMs = 0) {
    pollfd p{event.Fd(), POLLIN, 0};
    return ::poll(&p, 1, waitMs) == 1 && (p.revents & POLLIN);
}

TEST(EventFd, StaysSignalledUntilReset) {
    CEventFd event;
    ASSERT_TRUE(event.Valid());
    EXPECT_FALSE(IsSignalled(event));
    event.Signal();
    event.Signal();
    EXPECT_TRUE(IsSignalled(event));
    EXPECT_TRUE(IsSignalled(event));  // observing it does not consume it
    event.Reset();
    EXPECT_FALSE(IsSignalled(event));
    event.Reset();  // resetting an unsignalled event does not block
    EXPECT_FALSE(IsSignalled(event));
}

TEST(EventFd, WakesAPollOnAnotherThreadAndIsNonBlockingCloseOnExec) {
    CEventFd event;
    std::thread signaller([&] { event.Signal(); });
    EXPECT_TRUE(IsSignalled(event, 30000));
    signaller.join();

    const int fl = ::fcntl(event.Fd(), F_GETFL);
    const int fd = ::fcntl(event.Fd(), F_GETFD);
    EXPECT_TRUE(fl & O_NONBLOCK);
    EXPECT_TRUE(fd & FD_CLOEXEC);
}

}  // namespace
}  // namespace rm7
