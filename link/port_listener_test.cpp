#include "link/port_listener.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "platform/result_codes.h"

namespace rm7 {
namespace {

// A device made of a pipe: readable while the test has written more than anyone read. The wait
// notes when the listener came back to it while a notice was still unanswered, which is the
// flood an unread queue must never cause.
class ListenerRig {
  public:
    ListenerRig() { EXPECT_EQ(pipe(m_pipe), 0); }
    ~ListenerRig() {
        listener.Stop();
        close(m_pipe[0]);
        close(m_pipe[1]);
    }

    void Start() {
        ASSERT_EQ(listener.Prepare(), kOk);
        listener.Start(
            [this](int stopFd, bool& readable) {
                {
                    std::lock_guard lock(m_mutex);
                    ++waits;
                    waitedWhileUnanswered += unanswered ? 1 : 0;
                    if (failWith != kOk) {
                        return failWith;
                    }
                }
                pollfd fds[2] = {{stopFd, POLLIN, 0}, {m_pipe[0], POLLIN, 0}};
                poll(fds, 2, -1);
                readable = (fds[1].revents & POLLIN) != 0;
                return kOk;
            },
            [this](Result why, std::uint32_t generation) {
                std::lock_guard lock(m_mutex);
                notices.push_back({why, generation});
                unanswered = why == kOk;
                m_cv.notify_all();
            });
    }

    void MakeReadable() { ASSERT_EQ(write(m_pipe[1], "x", 1), 1); }

    // Waits (10 s at most) until `count` notices have come.
    bool WaitForNotices(std::size_t count) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return notices.size() >= count; });
    }

    void Answer() {
        {
            std::lock_guard lock(m_mutex);
            unanswered = false;
        }
        listener.Acknowledge();
    }

    struct Notice {
        Result why;
        std::uint32_t generation;
    };
    CPortListener listener;
    std::vector<Notice> notices;
    int waits = 0;
    int waitedWhileUnanswered = 0;
    bool unanswered = false;
    Result failWith = kOk;

  private:
    int m_pipe[2] = {-1, -1};
    std::mutex m_mutex;
    std::condition_variable m_cv;
};

// Data nobody reads stays readable: each notice waits for its answer, and each answer brings
// the next notice, all of the same opening.
TEST(PortListener, AnnouncesUnreadDataOnceUntilAnswered) {
    ListenerRig rig;
    rig.Start();
    rig.MakeReadable();
    for (std::size_t i = 1; i <= 3; ++i) {
        ASSERT_TRUE(rig.WaitForNotices(i));
        rig.Answer();
    }
    ASSERT_TRUE(rig.WaitForNotices(4));
    rig.listener.Stop();
    EXPECT_EQ(rig.waitedWhileUnanswered, 0);
    EXPECT_EQ(rig.notices.size(), 4u) << "nothing after Stop";
    for (const auto& n : rig.notices) {
        EXPECT_EQ(n.why, kOk);
        EXPECT_EQ(n.generation, rig.listener.Generation());
    }
}

// Stop ends a listener wherever it waits: on the device, or for the answer to a notice; a
// retired listener (its connection ended) posts nothing more.
TEST(PortListener, StopsWhileWaitingOnTheDeviceOrForAnAnswerAndRetires) {
    {
        ListenerRig idle;
        idle.Start();
        idle.listener.Stop();
        EXPECT_TRUE(idle.notices.empty());
    }
    {
        ListenerRig unanswered;
        unanswered.Start();
        unanswered.MakeReadable();
        ASSERT_TRUE(unanswered.WaitForNotices(1));
        unanswered.listener.Stop();
        EXPECT_EQ(unanswered.notices.size(), 1u);
    }
    {
        ListenerRig retired;
        retired.Start();
        retired.MakeReadable();
        ASSERT_TRUE(retired.WaitForNotices(1));
        retired.listener.Retire();
        retired.Answer();  // a port that still reads what came before the end
        retired.listener.Stop();
        EXPECT_EQ(retired.notices.size(), 1u);
        EXPECT_EQ(retired.waits, 1) << "a retired listener does not wait on the device again";
    }
}

// A device that fails is told once, and the listener is done; the next opening counts anew.
TEST(PortListener, TellsAFailureOnceAndANewOpeningHasANewGeneration) {
    ListenerRig rig;
    rig.failWith = kErrPortGone;
    rig.Start();
    const std::uint32_t first = rig.listener.Generation();
    ASSERT_TRUE(rig.WaitForNotices(1));
    rig.listener.Stop();
    ASSERT_EQ(rig.notices.size(), 1u);
    EXPECT_EQ(rig.notices[0].why, kErrPortGone);
    EXPECT_EQ(rig.notices[0].generation, first);
    EXPECT_EQ(rig.waits, 1);

    rig.failWith = kOk;
    rig.Start();
    rig.MakeReadable();
    ASSERT_TRUE(rig.WaitForNotices(2));
    rig.listener.Stop();
    EXPECT_EQ(rig.notices[1].why, kOk);
    EXPECT_EQ(rig.notices[1].generation, first + 1);
}

}  // namespace
}  // namespace rm7
