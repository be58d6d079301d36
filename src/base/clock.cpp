#include "base/clock.h"

#include <chrono>

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

}  // namespace tw
