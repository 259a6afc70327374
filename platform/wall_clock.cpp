#include "platform/wall_clock.h"

#include <chrono>
#include <ctime>

namespace rm7 {

std::int64_t WallClockMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::tm LocalCalendarTime(std::time_t secondsSinceEpoch) {
    std::tm tm{};
    if (localtime_r(&secondsSinceEpoch, &tm) == nullptr) {
        return std::tm{};
    }
    return tm;
}

TimeOfDay TimeOfDayAt(std::int64_t msSinceEpoch, bool utc) {
    // Floor division: an instant before 1970 still has its own second, not the next one.
    std::int64_t seconds = msSinceEpoch / 1000;
    if (msSinceEpoch % 1000 < 0) {
        --seconds;
    }
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if ((utc ? gmtime_r(&t, &tm) : localtime_r(&t, &tm)) == nullptr) {
        return {};
    }
    // A leap second reads as the second before it: the radio's clock has no 60.
    return {tm.tm_hour, tm.tm_min, tm.tm_sec > 59 ? 59 : tm.tm_sec};
}

}  // namespace rm7
