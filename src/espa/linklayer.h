// The ESPA 4.4.4 link layer of every port, as station 2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/gateway.h"

namespace tw {

// Unconsumed input beyond this is no ESPA element in the making: it is
// discarded at once (FailESPACommunication).
constexpr size_t kReceiveBufferLimit = size_t{64} * 1024;

// Status messages kept for a partner that does not fetch them; beyond this
// the oldest is dropped.
constexpr size_t kSendQueueLimit = 1000;

// Appends chunk (exactly as read, possibly empty) to the port's ReceiveBuffer,
// traces and counts it, and consumes every complete element at the head of
// the buffer, sending the replies and raising the alarms before it returns.
// Runs on the event-loop thread and must not be re-entered for the same port
// from inside the replies or alarms it sends.
void HandleReceivedESPA(Gateway& gateway, int16_t port, const std::string& chunk);

// The port's ESPA communication has failed (its ESPA timeout expired, or its
// unconsumed input outgrew kReceiveBufferLimit): "ESPA communication (n)
// failed" is logged unless it already counts as failed, CommFailed is set,
// the unconsumed input is discarded and the idle time starts again.
void FailESPACommunication(Gateway& gateway, int16_t port);

}  // namespace tw
