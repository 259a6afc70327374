#pragma once
// The contract of platform/message_pump.h, as typed tests every pump runs: posts in each
// thread's order, periodic timers per (target, id) that SetTimer re-arms from now and KillTimer
// stops, a 0 ms timer that does not starve posts, and Forget dropping a target's posts and
// timers (also from inside a handler) but not what is posted after it.
//
// A pump's test program instantiates it with a rig:
//   struct Rig {
//       SomePump pump;                                 // an IMessagePump with ArmedTimers()
//       bool RunUntil(const std::function<bool()>&);   // runs the pump until it holds, or a deadline
//   };
//   INSTANTIATE_TYPED_TEST_SUITE_P(Some, PumpContract, ::testing::Types<Rig>);
// The deadline bounds a broken pump (virtual time for a manual pump); it is not what is tested.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "platform/message_pump.h"

namespace rm7::test {

// Records each message it gets, then runs an optional reaction.
class CContractTarget : public IMessageTarget {
  public:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override {
        received.push_back({code, wParam});
        if (onMessage) {
            onMessage(code, wParam, lParam);
        }
        return 0;
    }
    int Count(std::uint32_t code, WParam wParam) const {
        return static_cast<int>(std::count(received.begin(), received.end(), std::make_pair(code, wParam)));
    }
    std::vector<std::pair<std::uint32_t, WParam>> received;
    std::function<void(std::uint32_t, WParam, LParam)> onMessage;
};

template <typename Rig>
class PumpContract : public ::testing::Test {
  protected:
    Rig rig;
    decltype(rig.pump)& pump = rig.pump;
};

TYPED_TEST_SUITE_P(PumpContract);

TYPED_TEST_P(PumpContract, PostsFromOtherThreadsArriveInEachThreadsOrder) {
    auto& pump = this->pump;
    CContractTarget target;
    constexpr int kThreads = 4;
    constexpr int kEach = 300;
    std::vector<WParam> next(kThreads, 0);
    bool inOrder = true;
    target.onMessage = [&](std::uint32_t code, WParam wParam, LParam lParam) {
        inOrder = inOrder && wParam == next[code - kMsgApp]++ && lParam == -static_cast<LParam>(wParam);
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                pump.Post(&target, kMsgApp + static_cast<std::uint32_t>(t), static_cast<WParam>(i), -i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_TRUE(this->rig.RunUntil([&] { return target.received.size() == std::size_t{kThreads * kEach}; }));
    EXPECT_EQ(target.received.size(), std::size_t{kThreads * kEach});
    EXPECT_TRUE(inOrder);
}

TYPED_TEST_P(PumpContract, PostsFromOneThreadKeepTheirOrderAmongTargets) {
    auto& pump = this->pump;
    std::vector<int> order;
    CContractTarget a;
    CContractTarget b;
    a.onMessage = [&](std::uint32_t, WParam w, LParam) { order.push_back(static_cast<int>(w)); };
    b.onMessage = a.onMessage;
    pump.Post(&a, kMsgApp, 1);
    pump.Post(&b, kMsgApp, 2);
    pump.Post(&a, kMsgApp, 3);
    EXPECT_TRUE(this->rig.RunUntil([&] { return order.size() == 3; }));
    EXPECT_THAT(order, ::testing::ElementsAre(1, 2, 3));
}

TYPED_TEST_P(PumpContract, TimersArePeriodicFireInDueOrderAndNeverEarly) {
    auto& pump = this->pump;
    CContractTarget target;
    std::vector<WParam> fired;
    bool early = false;
    bool onlyTimers = true;
    const std::uint32_t armedAt = pump.TickCount();
    target.onMessage = [&](std::uint32_t code, WParam id, LParam) {
        onlyTimers = onlyTimers && code == kMsgTimer;
        const std::uint32_t period = id == 1 ? 40 : 15;
        const auto count = static_cast<std::uint32_t>(std::count(fired.begin(), fired.end(), id)) + 1;
        early = early || pump.TickCount() - armedAt < period * count;
        fired.push_back(id);
    };
    pump.SetTimer(&target, 1, 40);
    pump.SetTimer(&target, 2, 15);
    EXPECT_TRUE(this->rig.RunUntil([&] { return std::count(fired.begin(), fired.end(), 1) == 2; }));
    EXPECT_TRUE(onlyTimers);
    EXPECT_FALSE(early);
    ASSERT_GE(fired.size(), 3u);
    EXPECT_EQ(fired.front(), WParam{2});  // due first, so delivered first however late the pump wakes
    EXPECT_GE(std::count(fired.begin(), fired.end(), 2), 2);
    EXPECT_EQ(pump.ArmedTimers(), 2u);
    pump.Forget(&target);
}

TYPED_TEST_P(PumpContract, SetTimerReArmsTheSameTimerFromNow) {
    auto& pump = this->pump;
    CContractTarget target;
    std::vector<WParam> fired;
    target.onMessage = [&](std::uint32_t, WParam id, LParam) {
        fired.push_back(id);
        pump.KillTimer(&target, static_cast<std::uint32_t>(id));
    };
    pump.SetTimer(&target, 1, 1);
    pump.SetTimer(&target, 2, 40);
    pump.SetTimer(&target, 1, 120);  // replaces the 1 ms wait: fires after timer 2
    EXPECT_EQ(pump.ArmedTimers(), 2u);
    EXPECT_TRUE(this->rig.RunUntil([&] { return fired.size() == 2; }));
    EXPECT_THAT(fired, ::testing::ElementsAre(WParam{2}, WParam{1}));
    // The same id on another target is another timer.
    CContractTarget other;
    pump.SetTimer(&other, 1, 1);
    pump.SetTimer(&target, 1, 1);
    EXPECT_EQ(pump.ArmedTimers(), 2u);
    EXPECT_TRUE(this->rig.RunUntil([&] { return !other.received.empty() && fired.size() == 3; }));
    pump.Forget(&other);
}

TYPED_TEST_P(PumpContract, KillTimerFromItsHandlerStopsIt) {
    auto& pump = this->pump;
    CContractTarget target;
    target.onMessage = [&](std::uint32_t code, WParam id, LParam) {
        if (code == kMsgTimer && id == 7) {
            pump.KillTimer(&target, 7);
            pump.Post(&target, kMsgApp);
        }
    };
    pump.SetTimer(&target, 7, 1);
    EXPECT_TRUE(this->rig.RunUntil([&] { return target.Count(kMsgApp, 0) == 1; }));
    EXPECT_EQ(pump.ArmedTimers(), 0u);
    // A later timer's turn comes well after timer 7 would have fired again.
    pump.SetTimer(&target, 9, 30);
    EXPECT_TRUE(this->rig.RunUntil([&] { return target.Count(kMsgTimer, 9) >= 1; }));
    EXPECT_EQ(target.Count(kMsgTimer, 7), 1);
    pump.KillTimer(&target, 9);
}

TYPED_TEST_P(PumpContract, ZeroMsTimerRepeatsWithoutStarvingPosts) {
    auto& pump = this->pump;
    CContractTarget target;
    target.onMessage = [&](std::uint32_t code, WParam, LParam) {
        if (code == kMsgTimer && target.Count(kMsgTimer, 3) == 1) {
            pump.Post(&target, kMsgApp, 1);
        }
    };
    pump.SetTimer(&target, 3, 0);
    EXPECT_TRUE(this->rig.RunUntil([&] { return target.Count(kMsgTimer, 3) >= 3 && target.Count(kMsgApp, 1) == 1; }));
    pump.KillTimer(&target, 3);
}

TYPED_TEST_P(PumpContract, ForgetDropsPostsAndTimersButNotLaterPosts) {
    auto& pump = this->pump;
    CContractTarget gone;
    CContractTarget stays;
    pump.Post(&gone, kMsgApp, 1);
    std::thread poster([&] { pump.Post(&gone, kMsgApp, 2); });
    poster.join();
    pump.SetTimer(&gone, 1, 1);
    pump.Post(&stays, kMsgApp, 1);
    pump.Forget(&gone);
    EXPECT_EQ(pump.ArmedTimers(), 0u);
    // Posted after the Forget: a new object at the same address is told.
    pump.Post(&gone, kMsgApp, 3);
    pump.SetTimer(&stays, 5, 20);
    EXPECT_TRUE(this->rig.RunUntil([&] { return stays.Count(kMsgTimer, 5) >= 1; }));
    pump.KillTimer(&stays, 5);
    EXPECT_EQ(stays.Count(kMsgApp, 1), 1);
    EXPECT_THAT(gone.received, ::testing::ElementsAre(std::make_pair(kMsgApp, WParam{3})));
}

// Destroying a target from another target's handler, and forgetting oneself from one's own
// handler, leaves no message or timer that could reach a dead object (ASan would see it).
TYPED_TEST_P(PumpContract, ForgetDuringDispatchDropsEverythingOfThatTarget) {
    auto& pump = this->pump;
    struct Owned : CMessageTarget {
        using CMessageTarget::CMessageTarget;
        LResult OnMessage(std::uint32_t, WParam, LParam) override { return 0; }
    };
    auto victim = std::make_unique<Owned>(pump);
    CContractTarget a;
    CContractTarget last;
    a.onMessage = [&](std::uint32_t code, WParam, LParam) {
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
    // Beyond every one of those: a timer due after theirs.
    pump.SetTimer(&last, 2, 50);
    EXPECT_TRUE(this->rig.RunUntil([&] { return !last.received.empty(); }));
    pump.KillTimer(&last, 2);
    EXPECT_THAT(a.received, ::testing::ElementsAre(std::make_pair(kMsgApp, WParam{0})));
    EXPECT_EQ(pump.ArmedTimers(), 0u);
}

REGISTER_TYPED_TEST_SUITE_P(PumpContract, PostsFromOtherThreadsArriveInEachThreadsOrder,
                            PostsFromOneThreadKeepTheirOrderAmongTargets, TimersArePeriodicFireInDueOrderAndNeverEarly,
                            SetTimerReArmsTheSameTimerFromNow, KillTimerFromItsHandlerStopsIt,
                            ZeroMsTimerRepeatsWithoutStarvingPosts, ForgetDropsPostsAndTimersButNotLaterPosts,
                            ForgetDuringDispatchDropsEverythingOfThatTarget);

}  // namespace rm7::test
