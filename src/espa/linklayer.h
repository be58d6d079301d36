// The ESPA 4.4.4 link layer of every port, as station 2.
#pragma once

#include <cstdint>
#include <string>

#include "shell/gateway.h"

namespace tw {

// Appends chunk (exactly as read, possibly empty) to the port's ReceiveBuffer,
// traces and counts it, and consumes every complete element at the head of
// the buffer, sending the replies and raising the alarms before it returns.
void HandleReceivedESPA(Gateway& gateway, int16_t port, const std::string& chunk);

}  // namespace tw
