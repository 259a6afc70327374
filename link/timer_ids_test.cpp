#include "link/timer_ids.h"

#include <gtest/gtest.h>

namespace rm7 {
namespace {

constexpr TimerGroup kGroups[] = {
    {"router", {TimerTarget::kRouter}, 1},
    {"terminal", {TimerTarget::kTerminal}, 1},
    {"job shell", {TimerTarget::kJobShell}, 1},
    {"terminal as idle target", {TimerTarget::kRouter, TimerTarget::kTerminal}, 2},
};

TEST(TimerIds, EqualIdsAreRefusedOnlyWhereTheirTargetsMeet) {
    struct Case {
        const char* what;
        TimerEntry a;
        TimerEntry b;
        bool apart;
    };
    const Case kCases[] = {
        {"two machines on the router", {"x", 7, TimerTarget::kRouter}, {"y", 7, TimerTarget::kRouter}, false},
        {"a machine and the idle target it hands ticks to",
         {"x", 3, TimerTarget::kRouter},
         {"t", 3, TimerTarget::kTerminal},
         false},
        {"the same id twice on one target", {"t", 3, TimerTarget::kTerminal}, {"u", 3, TimerTarget::kTerminal}, false},
        {"targets that never meet", {"t", 3, TimerTarget::kTerminal}, {"j", 3, TimerTarget::kJobShell}, true},
        {"a machine and the job shell", {"x", 1, TimerTarget::kRouter}, {"j", 1, TimerTarget::kJobShell}, true},
        {"different ids on the router", {"x", 7, TimerTarget::kRouter}, {"y", 8, TimerTarget::kRouter}, true},
    };
    for (const Case& c : kCases) {
        const TimerEntry timers[] = {c.a, {"other", 99, TimerTarget::kJobShell}, c.b};
        EXPECT_EQ(TimerIdsApart(timers, kGroups), c.apart) << c.what;
    }
}

TEST(TimerIds, ATargetWithoutAGroupOfItsOwnIsRefused) {
    const TimerEntry grouped[] = {{"x", 1, TimerTarget::kRouter}, {"t", 2, TimerTarget::kTerminal}};
    EXPECT_TRUE(EveryTargetGrouped(grouped, kGroups));
    // The idle exchange appears only beside the router here: its own ids would go unchecked.
    const TimerGroup onlyShared[] = {
        {"router", {TimerTarget::kRouter}, 1},
        {"exchange as idle target", {TimerTarget::kRouter, TimerTarget::kIdleExchange}, 2}};
    const TimerEntry exchange[] = {{"x", 1, TimerTarget::kRouter}, {"e", 2, TimerTarget::kIdleExchange}};
    EXPECT_FALSE(EveryTargetGrouped(exchange, onlyShared));
}

}  // namespace
}  // namespace rm7
