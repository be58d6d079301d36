// Arithmetic for the signed 32-bit counters that a process running for years
// keeps adding to: none of them may overflow.
#pragma once

#include <cstdint>
#include <limits>

namespace tw {

// value + amount, held at the limits of int32_t instead of overflowing.
constexpr int32_t AddClamped(int32_t value, int64_t amount) {
    const int64_t sum = static_cast<int64_t>(value) + amount;
    if (sum > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (sum < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(sum);
}

// A byte counter shown as 0..65535: value + amount, set back to 0 when the sum
// exceeds 65535.
constexpr int32_t AddByteCount(int32_t value, int64_t amount) {
    const int64_t sum = static_cast<int64_t>(value) + amount;
    return sum > 65535 ? 0 : static_cast<int32_t>(sum);
}

}  // namespace tw
