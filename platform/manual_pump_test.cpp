#include "platform/manual_pump.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "tests/support/pump_contract.h"

namespace rm7 {
namespace {

using ::testing::ElementsAre;

struct Event {
    char who;
    std::uint32_t tick;
    std::uint32_t code;
    WParam wParam;
    bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Event& e) {
    return os << e.who << "@" << e.tick << ":" << std::hex << e.code << "/" << std::dec << e.wParam;
}

// Records every message it gets into a shared log, then runs an optional reaction.
class Recorder : public IMessageTarget {
  public:
    Recorder(char who, IMessagePump& pump, std::vector<Event>& log) : m_who(who), m_pump(pump), m_log(log) {}
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam) override {
        m_log.push_back({m_who, m_pump.TickCount(), code, wParam});
        if (onMessage) {
            onMessage(code, wParam);
        }
        return 0;
    }
    std::function<void(std::uint32_t, WParam)> onMessage;

  private:
    char m_who;
    IMessagePump& m_pump;
    std::vector<Event>& m_log;
};

class ManualPumpTest : public ::testing::Test {
  protected:
    CManualPump pump;
    std::vector<Event> log;
    Recorder a{'a', pump, log};
    Recorder b{'b', pump, log};
};

TEST_F(ManualPumpTest, TimersFireInDueOrderAtTheirOwnTimeAndRepeat) {
    pump.SetTimer(&a, 1, 30);
    pump.SetTimer(&b, 2, 20);
    pump.SetTimer(&a, 3, 20);  // same due time as b/2, armed later: fires after it
    pump.AdvanceBy(65);

    // At 60 all three are due: a/1 was re-armed (at 30) before the other two (at 40).
    EXPECT_THAT(log,
                ElementsAre(Event{'b', 20, kMsgTimer, 2}, Event{'a', 20, kMsgTimer, 3}, Event{'a', 30, kMsgTimer, 1},
                            Event{'b', 40, kMsgTimer, 2}, Event{'a', 40, kMsgTimer, 3}, Event{'a', 60, kMsgTimer, 1},
                            Event{'b', 60, kMsgTimer, 2}, Event{'a', 60, kMsgTimer, 3}));
    EXPECT_EQ(pump.TickCount(), 65u);
    EXPECT_EQ(pump.ArmedTimers(), 3u);
}

TEST_F(ManualPumpTest, PostsRunBeforeTimersAndWithoutMovingTime) {
    // A post made by a timer handler is delivered at that same instant, before the next timer.
    a.onMessage = [&](std::uint32_t code, WParam) {
        if (code == kMsgTimer) {
            pump.Post(&b, kMsgApp + 1, 7);
        }
    };
    pump.SetTimer(&a, 1, 10);
    pump.SetTimer(&b, 9, 15);
    pump.Post(&b, kMsgApp, 1);
    pump.RunUntilIdle();
    EXPECT_THAT(log, ElementsAre(Event{'b', 0, kMsgApp, 1}));

    pump.AdvanceBy(15);
    EXPECT_THAT(log, ElementsAre(Event{'b', 0, kMsgApp, 1}, Event{'a', 10, kMsgTimer, 1},
                                 Event{'b', 10, kMsgApp + 1, 7}, Event{'b', 15, kMsgTimer, 9}));
}

TEST_F(ManualPumpTest, SetTimerRearmsFromNowAndKillTimerStopsIt) {
    pump.SetTimer(&a, 1, 100);
    pump.AdvanceBy(60);
    pump.SetTimer(&a, 1, 100);  // re-armed at 60: due at 160, not 100
    pump.AdvanceBy(99);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(pump.ArmedTimers(), 1u);

    a.onMessage = [&](std::uint32_t, WParam id) { pump.KillTimer(&a, static_cast<std::uint32_t>(id)); };
    pump.AdvanceBy(1000);
    EXPECT_THAT(log, ElementsAre(Event{'a', 160, kMsgTimer, 1}));
    EXPECT_EQ(pump.ArmedTimers(), 0u);
}

TEST_F(ManualPumpTest, ZeroPeriodTimerCannotStarveThePump) {
    pump.SetTimer(&a, 1, 0);
    pump.RunUntilIdle();
    EXPECT_TRUE(log.empty());
    pump.AdvanceBy(3);
    EXPECT_THAT(log,
                ElementsAre(Event{'a', 1, kMsgTimer, 1}, Event{'a', 2, kMsgTimer, 1}, Event{'a', 3, kMsgTimer, 1}));
}

TEST_F(ManualPumpTest, ForgetDuringDispatchDropsEverythingOfThatTarget) {
    // Destroying a target from another target's handler, and forgetting oneself from one's own
    // handler, must leave no message or timer that could reach a dead object (ASan would see it).
    struct Owned : CMessageTarget {
        using CMessageTarget::CMessageTarget;
        LResult OnMessage(std::uint32_t, WParam, LParam) override {
            ++received;
            return 0;
        }
        int received = 0;
    };
    auto victim = std::make_unique<Owned>(pump);
    a.onMessage = [&](std::uint32_t code, WParam) {
        if (code == kMsgApp) {
            victim.reset();
            pump.Forget(&a);
        }
    };
    pump.Post(&a, kMsgApp);
    pump.Post(victim.get(), kMsgApp);
    pump.Post(&a, kMsgApp + 5);
    pump.SetTimer(victim.get(), 4, 5);
    pump.SetTimer(&a, 1, 5);

    pump.AdvanceBy(50);
    EXPECT_THAT(log, ElementsAre(Event{'a', 0, kMsgApp, 0}));
    EXPECT_EQ(pump.ArmedTimers(), 0u);
    EXPECT_EQ(pump.PendingPosts(), 0u);
}

TEST_F(ManualPumpTest, AdvanceUntilStopsAtTheEventThatSatisfiesIt) {
    int ticks = 0;
    a.onMessage = [&](std::uint32_t, WParam) { ++ticks; };
    pump.SetTimer(&a, 1, 250);

    EXPECT_TRUE(pump.AdvanceUntil([&] { return ticks == 3; }, 10000));
    EXPECT_EQ(pump.TickCount(), 750u);

    EXPECT_FALSE(pump.AdvanceUntil([&] { return ticks == 100; }, 600));
    EXPECT_EQ(pump.TickCount(), 1350u);
    EXPECT_EQ(ticks, 5);
}

TEST(ManualPump, TickCountWrapsLikeTheSystemTickCount) {
    CManualPump pump(0xFFFFFFF0u);
    std::vector<Event> log;
    Recorder a('a', pump, log);
    pump.SetTimer(&a, 1, 32);
    pump.AdvanceBy(40);
    EXPECT_THAT(log, ElementsAre(Event{'a', 0x10, kMsgTimer, 1}));
    EXPECT_EQ(pump.TickCount(), 0x18u);
}

// The shared contract in virtual time: a minute of it bounds a broken pump.
struct ManualPumpRig {
    CManualPump pump;
    bool RunUntil(const std::function<bool()>& done) { return pump.AdvanceUntil(done, 60000); }
};
}  // namespace

namespace test {
INSTANTIATE_TYPED_TEST_SUITE_P(Manual, PumpContract, ::testing::Types<ManualPumpRig>);
}  // namespace test
}  // namespace rm7
