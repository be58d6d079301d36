#include "base/clock.h"

#include <chrono>
#include <cstdio>

namespace tw {

LocalTime MakeLocalTime(int year, int month, int day, int hour, int minute, int second) {
    using namespace std::chrono;
    const year_month_day date{std::chrono::year{year},
                              std::chrono::month{static_cast<unsigned>(month)},
                              std::chrono::day{static_cast<unsigned>(day)}};
    const sys_days days{date};
    const year_month_day firstOfYear{std::chrono::year{year}, January, std::chrono::day{1}};
    LocalTime result;
    result.Year = year;
    result.Month = month;
    result.Day = day;
    result.Hour = hour;
    result.Minute = minute;
    result.Second = second;
    result.Weekday = static_cast<int>(weekday{days}.c_encoding());
    result.YearDay = static_cast<int>((days - sys_days{firstOfYear}).count());
    result.UnixSeconds =
        (days.time_since_epoch().count() * 86400LL) + hour * 3600LL + minute * 60LL + second;
    return result;
}

LocalTime Clock::At(int64_t unixSeconds) const {
    using namespace std::chrono;
    const LocalTime now = Now();
    const int64_t offset =
        MakeLocalTime(now.Year, now.Month, now.Day, now.Hour, now.Minute, now.Second).UnixSeconds -
        now.UnixSeconds;
    const sys_seconds local{seconds{unixSeconds + offset}};
    const sys_days day = floor<days>(local);
    const year_month_day date{day};
    const hh_mm_ss clock{local - day};
    LocalTime result = MakeLocalTime(
        static_cast<int>(date.year()), static_cast<int>(unsigned{date.month()}),
        static_cast<int>(unsigned{date.day()}), static_cast<int>(clock.hours().count()),
        static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()));
    result.UnixSeconds = unixSeconds;
    return result;
}

std::string FormatDateTime(const LocalTime& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.Year, time.Month,
                  time.Day, time.Hour, time.Minute, time.Second);
    return text;
}

}  // namespace tw
