#include "platform/wall_clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace rm7 {
namespace {

TEST(WallClock, TimeOfDayTakesTheSecondAnInstantFallsIn) {
    struct Case {
        std::int64_t ms;
        TimeOfDay utc;
    } const cases[] = {
        {1796896800000, {10, 0, 0}},  // 2026-12-10 10:00:00
        {1796896800999, {10, 0, 0}},  // not rounded up
        {1796947199999, {23, 59, 59}},
        {-1, {23, 59, 59}},  // before 1970: still the second before
        {0, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimeOfDayAt(c.ms, true), c.utc) << c.ms;
    }
    EXPECT_LT(std::abs(WallClockMs() - static_cast<std::int64_t>(std::time(nullptr)) * 1000), 2000);
}

// The process's time zone as the C library reads it; null for the system's own.
void SetTimeZone(const char* tz) {
#ifdef _WIN32
    _putenv_s("TZ", tz != nullptr ? tz : "");
    _tzset();
#else
    if (tz != nullptr) {
        setenv("TZ", tz, 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
#endif
}

TEST(WallClock, LocalTimeFollowsTheTimeZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old != nullptr ? old : "";
    SetTimeZone("XST+5");  // five hours behind UTC
    EXPECT_EQ(TimeOfDayAt(1796896800000, false), (TimeOfDay{5, 0, 0}));
    EXPECT_EQ(TimeOfDayAt(1796896800000, true), (TimeOfDay{10, 0, 0}));
    EXPECT_EQ(LocalCalendarTime(1796896800).tm_hour, 5);
    SetTimeZone(old != nullptr ? saved.c_str() : nullptr);
}

}  // namespace
}  // namespace rm7
