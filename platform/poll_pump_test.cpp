#include "platform/poll_pump.h"

#include <fcntl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "tests/support/pump_contract.h"

namespace rm7 {
namespace {

// Waits are generous: they bound a broken pump, they are not what the tests measure.
constexpr std::uint32_t kDeadlineMs = 30000;

class Target : public IMessageTarget {
  public:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override {
        if (onMessage) {
            onMessage(code, wParam, lParam);
        }
        return 0;
    }
    std::function<void(std::uint32_t, WParam, LParam)> onMessage;
};

// The contract posts before the pump runs; here the posts must wake a pump already running.
TEST(PollPump, PostsFromOtherThreadsWakeThePumpInEachThreadsOrder) {
    CPollPump pump;
    Target target;
    constexpr int kThreads = 4;
    constexpr int kEach = 300;
    std::vector<WParam> next(kThreads, 0);
    int received = 0;
    bool inOrder = true;
    target.onMessage = [&](std::uint32_t code, WParam wParam, LParam) {
        inOrder = inOrder && wParam == next[code - kMsgApp]++;
        if (++received == kThreads * kEach) {
            pump.Quit();
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                pump.Post(&target, kMsgApp + static_cast<std::uint32_t>(t), static_cast<WParam>(i));
            }
        });
    }
    pump.Run();
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(received, kThreads * kEach);
    EXPECT_TRUE(inOrder);
}

TEST(PollPump, RunUntilTimesOutAndQuitEndsIt) {
    CPollPump pump;
    EXPECT_TRUE(pump.RunUntil([] { return true; }, 0));
    EXPECT_FALSE(pump.RunUntil([] { return false; }, 20));

    std::thread quitter([&] { pump.Quit(); });
    EXPECT_FALSE(pump.RunUntil([] { return false; }, kDeadlineMs));
    quitter.join();
}

TEST(PollPump, QuitFromAnotherThreadEndsAnIdleRun) {
    CPollPump pump;
    std::thread quitter([&] { pump.Quit(); });
    pump.Run();  // blocks in poll with nothing armed until the quit arrives
    quitter.join();
    // The quit was consumed: the pump can run again.
    Target target;
    bool got = false;
    target.onMessage = [&](std::uint32_t, WParam, LParam) { got = true; };
    pump.Post(&target, kMsgApp);
    EXPECT_TRUE(pump.RunUntil([&] { return got; }, kDeadlineMs));
}

TEST(PollPump, WatchedFdCallsBackUntilUnwatched) {
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC), 0);
    CPollPump pump;
    std::string received;
    pump.WatchFd(pipeFds[0], [&] {
        char buf[16];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) {
            received.append(buf, static_cast<std::size_t>(n));
        }
        if (received.find(';') != std::string::npos) {
            pump.UnwatchFd(pipeFds[0]);
        }
    });
    std::thread writer([&] {
        ASSERT_EQ(::write(pipeFds[1], "ab", 2), 2);
        ASSERT_EQ(::write(pipeFds[1], "c;", 2), 2);
    });
    EXPECT_TRUE(pump.RunUntil([&] { return received == "abc;"; }, kDeadlineMs));
    writer.join();

    ASSERT_EQ(::write(pipeFds[1], "x", 1), 1);
    EXPECT_FALSE(pump.RunOnce(0));  // unwatched: the byte stays in the pipe
    EXPECT_EQ(received, "abc;");
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

TEST(PollPump, ClosedWatchedFdIsDroppedAfterOneLastCall) {
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC), 0);
    ::close(pipeFds[1]);
    CPollPump pump;
    int calls = 0;
    pump.WatchFd(pipeFds[0], [&] { ++calls; });
    ::close(pipeFds[0]);
    EXPECT_TRUE(pump.RunOnce(0));
    EXPECT_FALSE(pump.RunOnce(0));
    EXPECT_EQ(calls, 1);
}

struct PollPumpRig {
    CPollPump pump;
    bool RunUntil(const std::function<bool()>& done) { return pump.RunUntil(done, kDeadlineMs); }
};
}  // namespace

namespace test {
INSTANTIATE_TYPED_TEST_SUITE_P(Poll, PumpContract, ::testing::Types<PollPumpRig>);
}  // namespace test
}  // namespace rm7
