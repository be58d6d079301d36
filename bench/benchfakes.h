// Fakes the in-process benchmarks share, beside the test fakes in tests/:
// a socket and an alarm output that keep nothing of what they are given, so
// a long run does not grow them, and the call block a station sends.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "espa/callrecord.h"
#include "support/fakes.h"

namespace tw::bench {

// A connection that takes everything and keeps no copy.
class NullSocket : public test::FakeSocket {
  public:
    bool SendData(const std::string& /*text*/) override { return true; }
};

// Alarms only counted.
class CountingAlarms : public AlarmOutput {
  public:
    void SendAlarm(int16_t /*AlarmState*/, const AlarmFields& fields) override {
        benchmark::DoNotOptimize(fields);
        ++m_Count;
    }
    int64_t m_Count = 0;
};

// SOH "1" STX data ETX and its check character.
inline std::string Block(const std::string& data) {
    const std::string checked = "1\x02" + data + "\x03";
    return "\x01" + checked + BlockCheck(checked);
}

// A call as a station sends it: call address 123, a display text.
inline const std::string kCallBlock = Block(
    "1\x1f"
    "123\x1e"
    "2\x1fRoom 12 Bed 3");

}  // namespace tw::bench
