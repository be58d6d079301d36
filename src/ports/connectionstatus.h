// The Status column of a port's row in the connection list, built from the
// live state of the port's transport objects, and the columns of its totals.
#pragma once

#include <cstdint>
#include <string>

#include "core/gateway.h"

namespace tw {

// Writes the port's Status column through gateway.m_View from its kind and the
// live state of its transport objects, only when the text differs from what
// the column shows. A port without a row is left alone.
void ShowTCPConnectionState(Gateway& gateway, int16_t port);

// Whether the port is up as its Status column tells: a TCP port connected to
// its partner or (server) listening, a serial line open. False for a port
// not in use.
bool PortIsUp(const Gateway& gateway, int16_t port);

// Writes the port's Last call, Calls and NAKs columns from its totals when
// the counts differ from what the row shows. A port without a row is left
// alone.
void ShowPortTotals(Gateway& gateway, int16_t port);

// A moment in seconds since 1970 as the gateway's local "YYYY-MM-DD
// HH:NN:SS"; "" for 0 (never).
std::string StampText(const Gateway& gateway, int64_t unixSeconds);

}  // namespace tw
