#include "platform/systemclock.h"

#include <chrono>
#include <ctime>

namespace tw {
namespace {

LocalTime FromParts(const std::tm& parts, int64_t unixSeconds) {
    LocalTime result;
    result.Year = parts.tm_year + 1900;
    result.Month = parts.tm_mon + 1;
    result.Day = parts.tm_mday;
    result.Hour = parts.tm_hour;
    result.Minute = parts.tm_min;
    result.Second = parts.tm_sec;
    result.Weekday = parts.tm_wday;
    result.YearDay = parts.tm_yday;
    result.UnixSeconds = unixSeconds;
    return result;
}

}  // namespace

LocalTime SystemClock::Now() const {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    LocalTime result = FromParts(parts, seconds);
    result.Millisecond = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    return result;
}

LocalTime SystemClock::At(int64_t unixSeconds) const {
    const std::time_t seconds = static_cast<std::time_t>(unixSeconds);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return FromParts(parts, unixSeconds);
}

}  // namespace tw
