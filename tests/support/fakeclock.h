// A clock that says what the test sets.
#pragma once

#include <chrono>

#include "base/clock.h"

namespace tw::test {

class FakeClock : public Clock {
  public:
    explicit FakeClock(LocalTime now = MakeLocalTime(2019, 5, 27, 10, 31, 5)) : m_Now(now) {}
    // Every reading after the first comes one second later than the one
    // before while m_Ticking is set: a clock read twice shows it.
    LocalTime Now() const override {
        const LocalTime now = m_Now;
        if (m_Ticking) {
            m_Now = NextSecond(m_Now);
        }
        return now;
    }
    void Set(const LocalTime& now) { m_Now = now; }

    bool m_Ticking = false;

  private:
    static LocalTime NextSecond(const LocalTime& t) {
        using namespace std::chrono;
        const sys_seconds next = sys_days{year{t.Year} / t.Month / t.Day} + hours{t.Hour} +
                                 minutes{t.Minute} + seconds{t.Second + 1};
        const sys_days day = floor<days>(next);
        const year_month_day date{day};
        const hh_mm_ss clock{next - day};
        return MakeLocalTime(
            static_cast<int>(date.year()), static_cast<int>(unsigned{date.month()}),
            static_cast<int>(unsigned{date.day()}), static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()));
    }

    mutable LocalTime m_Now;
};

}  // namespace tw::test
