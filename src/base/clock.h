// The local clock as an interface, so that tests can set the time.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

// One reading of the local date and time.
struct LocalTime {
    int Year = 2000;  // four digits
    int Month = 1;    // 1..12
    int Day = 1;      // 1..31
    int Hour = 0;     // 0..23
    int Minute = 0;   // 0..59
    int Second = 0;   // 0..59
    int Weekday = 6;  // 0 Sunday .. 6 Saturday
    int YearDay = 0;  // 0..365, 0 is 1 January
    int Millisecond = 0;
    // The same moment as seconds since 1970-01-01 UTC, for the machine-readable
    // status and for ages.
    int64_t UnixSeconds = 946684800;
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual LocalTime Now() const = 0;
    // The local date and time of an earlier moment given in seconds since
    // 1970. By default the current distance from UTC is applied; the system
    // clock asks the time zone, so a moment before a change to or from
    // summer time shows as it was then.
    virtual LocalTime At(int64_t unixSeconds) const;
};

// Fills the weekday and the day of the year from year, month and day; the
// time counts as UTC for UnixSeconds.
LocalTime MakeLocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// "YYYY-MM-DD HH:NN:SS", the stamp of the status texts.
std::string FormatDateTime(const LocalTime& time);

}  // namespace tw
