#include "latency.h"

#include <algorithm>
#include <cmath>

namespace tw::tools {

void LatencyStats::Add(Clock::duration sample) {
    m_Samples.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(sample).count());
    m_Sorted =
        m_Samples.size() < 2 || (m_Sorted && m_Samples[m_Samples.size() - 2] <= m_Samples.back());
}

void LatencyStats::Sort() {
    if (!m_Sorted) {
        std::sort(m_Samples.begin(), m_Samples.end());
        m_Sorted = true;
    }
}

double LatencyStats::PercentileMicros(double p) {
    if (m_Samples.empty()) {
        return 0.0;
    }
    Sort();
    auto rank =
        static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(m_Samples.size())));
    rank = std::clamp<std::size_t>(rank, 1, m_Samples.size());
    return static_cast<double>(m_Samples[rank - 1]) / 1000.0;
}

double LatencyStats::MaxMicros() {
    return PercentileMicros(100.0);
}

double MicrosBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}

}  // namespace tw::tools
