// Keeps the connection lines of one port from flooding the event log: the
// first kFloodGateLines of a minute are written, the rest are counted and
// summed up in one line when the minute is over. The minute is counted by
// the once-a-second pass, not read from a clock.
#pragma once

#include <cstdint>

namespace tw {

constexpr int kFloodGateLines = 10;
constexpr int kFloodGateSeconds = 60;

class LogFloodGate {
  public:
    // True when a line may be written now; otherwise it is counted.
    bool Admit() {
        m_Open = true;
        if (m_Lines < kFloodGateLines) {
            ++m_Lines;
            return true;
        }
        ++m_Held;
        return false;
    }

    // One second has passed. At the end of a minute that began with a line,
    // returns how many lines were held back in it (0: nothing to sum up) and
    // starts afresh.
    uint64_t SecondPassed() {
        if (!m_Open || ++m_Seconds < kFloodGateSeconds) {
            return 0;
        }
        const uint64_t held = m_Held;
        *this = LogFloodGate{};
        return held;
    }

  private:
    bool m_Open = false;
    int m_Lines = 0;
    int m_Seconds = 0;
    uint64_t m_Held = 0;
};

}  // namespace tw
