#include "shell/clock.h"

#include <chrono>
#include <ctime>

namespace tw {

LocalTime SystemClock::Now() const {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    LocalTime result;
    result.Year = parts.tm_year + 1900;
    result.Month = parts.tm_mon + 1;
    result.Day = parts.tm_mday;
    result.Hour = parts.tm_hour;
    result.Minute = parts.tm_min;
    result.Second = parts.tm_sec;
    result.Weekday = parts.tm_wday;
    result.YearDay = parts.tm_yday;
    result.Millisecond = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    return result;
}

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
    return result;
}

}  // namespace tw
