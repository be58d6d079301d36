// Latency samples of a load run and their percentiles.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace tw::tools {

using Clock = std::chrono::steady_clock;

class LatencyStats {
  public:
    void Add(Clock::duration sample);
    std::size_t Count() const { return m_Samples.size(); }
    // Nearest-rank percentile (p in 0..100) in microseconds; 0 when empty.
    double PercentileMicros(double p);
    double MaxMicros();

  private:
    void Sort();

    std::vector<std::int64_t> m_Samples;  // nanoseconds
    bool m_Sorted = true;
};

// Microseconds between two instants, as a fraction.
double MicrosBetween(Clock::time_point from, Clock::time_point to);

}  // namespace tw::tools
