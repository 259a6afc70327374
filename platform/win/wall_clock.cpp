#include "platform/wall_clock.h"

#include <chrono>

namespace rm7 {

std::int64_t WallClockMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::tm LocalCalendarTime(std::time_t secondsSinceEpoch) {
    std::tm tm{};
    if (localtime_s(&tm, &secondsSinceEpoch) != 0) {
        return std::tm{};
    }
    return tm;
}

TimeOfDay TimeOfDayAt(std::int64_t msSinceEpoch, bool utc) {
    std::int64_t seconds = msSinceEpoch / 1000;
    if (msSinceEpoch % 1000 < 0) {
        --seconds;
    }
    if (utc) {
        // gmtime_s refuses instants before 1970; the time of day in UTC needs no calendar.
        const auto ofDay = static_cast<int>(((seconds % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay);
        return {ofDay / 3600, ofDay / 60 % 60, ofDay % 60};
    }
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (localtime_s(&tm, &t) != 0) {
        return {};
    }
    return {tm.tm_hour, tm.tm_min, tm.tm_sec > 59 ? 59 : tm.tm_sec};
}

}  // namespace rm7
