// The communication trace: every text received or sent on an ESPA port and
// every message handed to the alarm server, with control characters named.
// It goes to the debug window (while open) and, while "CommDebug" in section
// "General" is on, to LogFiles/CommDebug.Log.
#pragma once

#include <cstdint>
#include <string>

#include "shell/gateway.h"

namespace tw {

enum TraceDirection : int16_t { TraceReceive = 0, TraceTransmit = 1 };

// port: 0..7 for an ESPA port; negative for the alarm-server link ("Zorvan").
void WriteCommTrace(Gateway& gateway, int16_t port, const std::string& text, int16_t direction);

// Appends one character as the trace shows it: printable 32..127 as itself,
// the protocol's control characters by name ("<STX>"), any other code as
// "<" + decimal + ">".
void AppendTraceCharacter(std::string& out, unsigned char code);

// The time of day of a trace line, "HH:NN:SS".
std::string FormatTraceTime(const LocalTime& time);

}  // namespace tw
