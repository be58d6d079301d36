// A clock that says what the test sets.
#pragma once

#include "base/clock.h"

namespace tw::test {

class FakeClock : public Clock {
  public:
    explicit FakeClock(LocalTime now = MakeLocalTime(2019, 5, 27, 10, 31, 5)) : m_Now(now) {}
    LocalTime Now() const override { return m_Now; }
    void Set(const LocalTime& now) { m_Now = now; }

  private:
    LocalTime m_Now;
};

}  // namespace tw::test
