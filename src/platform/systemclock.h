// The process's local time (TZ and the system's zone).
#pragma once

#include "base/clock.h"

namespace tw {

class SystemClock : public Clock {
  public:
    LocalTime Now() const override;
    LocalTime At(int64_t unixSeconds) const override;
};

}  // namespace tw
