#pragma once
// The computer's clock as a person reads it: the time since the Unix epoch, and its time of day
// in UTC or in the user's time zone. Unlike the pump's tick count, this clock may jump when
// the user or a time service sets it; nothing that measures a wait reads it.
//
// Threads: any.
#include <cstdint>
#include <ctime>

namespace rm7 {

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;

    bool operator==(const TimeOfDay&) const = default;
    int SecondsOfDay() const { return hour * 3600 + minute * 60 + second; }
};

inline constexpr int kSecondsPerDay = 86400;

// Milliseconds since 1970-01-01 00:00:00 UTC.
std::int64_t WallClockMs();
// The calendar date and time in the user's time zone (std::tm fields), zero when unknown.
std::tm LocalCalendarTime(std::time_t secondsSinceEpoch);

// The time of day at that instant: UTC, or local time in the process's time zone.
TimeOfDay TimeOfDayAt(std::int64_t msSinceEpoch, bool utc);

}  // namespace rm7
