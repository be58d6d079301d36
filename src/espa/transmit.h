// The only path by which anything is sent on an ESPA port.
#pragma once

#include <cstdint>
#include <string>

#include "core/gateway.h"

namespace tw {

// Sends text to the port's partner: traced before, counted into TxBytes and
// the "Tx bytes" column after. A port that is not connected or not open makes
// this a silent no-op.
void SendESPA(Gateway& gateway, int16_t port, const std::string& text);

}  // namespace tw
