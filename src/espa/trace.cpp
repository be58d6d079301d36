#include "espa/trace.h"

#include <cstdio>

#include "shell/ini.h"
#include "shell/systemtext.h"

namespace tw {
namespace {

// A debug-window line is handed over as soon as its rendering exceeds this.
constexpr size_t kDebugPieceLength = 180;

std::string TracePrefix(int16_t port, int16_t direction) {
    const std::string label = port < 0 ? "Zorvan" : std::to_string(port);
    return (direction == TraceReceive ? " Rx <- " : " Tx -> ") + label + ": ";
}

bool CommDebugOn() {
    return ToFlag(ReadIniValue("General", "CommDebug", "0"));
}

}  // namespace

std::string RenderTraceCharacter(unsigned char code) {
    if (code >= 32 && code <= 127) {
        return std::string(1, static_cast<char>(code));
    }
    switch (code) {
        case 1:
            return "<SOH>";
        case 2:
            return "<STX>";
        case 3:
            return "<ETX>";
        case 4:
            return "<EOT>";
        case 5:
            return "<ENQ>";
        case 6:
            return "<ACK>";
        case 10:
            return "<LF>";
        case 13:
            return "<CR>";
        case 21:
            return "<NAK>";
        case 27:
            return "<ESC>";
        case 30:
            return "<RS>";
        case 31:
            return "<US>";
        default:
            return "<" + std::to_string(code) + ">";
    }
}

std::string FormatTraceTime(const LocalTime& time) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.Hour, time.Minute, time.Second);
    return text;
}

void WriteCommTrace(Gateway& gateway, int16_t port, const std::string& text, int16_t direction) {
    const LocalTime now = gateway.m_Clock != nullptr ? gateway.m_Clock->Now() : SystemClock().Now();
    const std::string head = FormatTraceTime(now) + TracePrefix(port, direction);
    std::string rendering;
    std::string piece;
    for (char c : text) {
        const std::string one = RenderTraceCharacter(static_cast<unsigned char>(c));
        rendering += one;
        piece += one;
        if (piece.size() > kDebugPieceLength) {
            if (gateway.m_View != nullptr) {
                gateway.m_View->AddDebugLine(head + piece);
            }
            piece.clear();
        }
    }
    if (!piece.empty() && gateway.m_View != nullptr) {
        gateway.m_View->AddDebugLine(head + piece);
    }
    if (CommDebugOn()) {
        // The file keeps the whole rendering on one line, however long.
        AppendToFile(AppFolder() + "LogFiles/CommDebug.Log",
                     ToSystemText(head + rendering + "\r\n"));
    }
}

}  // namespace tw
