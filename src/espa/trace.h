// The communication trace: every text received or sent on an ESPA port and
// every message handed to the alarm server, with control characters named.
// It goes to the debug window (while open) and, while "CommDebug" in section
// "General" is on, to LogFiles/CommDebug.Log.
#pragma once

#include <cstdint>
#include <string>

#include "core/gateway.h"

namespace tw {

enum TraceDirection : int16_t { TraceReceive = 0, TraceTransmit = 1 };

// The trace file in the log folder.
inline constexpr const char* kTraceFileName = "CommDebug.Log";

// port: 0..7 for an ESPA port; negative for the alarm-server link ("Zorvan").
// The line carries the time of the current event.
void WriteCommTrace(Gateway& gateway, int16_t port, const std::string& text, int16_t direction);

// A line of the trace that is no text on the wire: "HH:NN:SS " + note, for
// example why the alarm server's library could not be loaded.
void WriteTraceNote(Gateway& gateway, const std::string& note);

// Appends one character as the trace shows it: printable 32..127 as itself,
// the protocol's control characters by name ("<STX>"), any other code as
// "<" + decimal + ">".
void AppendTraceCharacter(std::string& out, unsigned char code);

// The time of day of a trace line, "HH:NN:SS".
std::string FormatTraceTime(const LocalTime& time);

}  // namespace tw
