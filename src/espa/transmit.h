// The only path by which anything is sent on an ESPA port.
#pragma once

#include <cstdint>
#include <string>

#include "core/gateway.h"

namespace tw {

// Sends text to the port's partner: traced before, counted into TxBytes and
// the "Tx bytes" column after. A port that is not connected or not open makes
// this a silent no-op. A TCP partner whose unread replies fill the write
// backlog is closed; a serial line that does not take the text drops it (one
// log line for each episode). Neither is counted.
void SendESPA(Gateway& gateway, int16_t port, const std::string& text);

}  // namespace tw
