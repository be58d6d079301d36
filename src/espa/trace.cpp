#include "espa/trace.h"

#include "base/eventlog.h"
#include "base/ini.h"
#include "base/systemtext.h"

namespace tw {
namespace {

// A debug-window line is handed over as soon as its rendering exceeds this.
constexpr size_t kDebugPieceLength = 180;

std::string TracePrefix(int16_t port, int16_t direction) {
    const std::string label = port < 0 ? "Zorvan" : std::to_string(port);
    return (direction == TraceReceive ? " Rx <- " : " Tx -> ") + label + ": ";
}

bool CommDebugOn(Gateway& gateway) {
    return ToFlag(ReadIniValue(gateway.m_Settings, "General", "CommDebug", "0"));
}

}  // namespace

void AppendTraceCharacter(std::string& out, unsigned char code) {
    if (code >= 32 && code <= 127) {
        out.push_back(static_cast<char>(code));
        return;
    }
    switch (code) {
        case 1:
            out += "<SOH>";
            break;
        case 2:
            out += "<STX>";
            break;
        case 3:
            out += "<ETX>";
            break;
        case 4:
            out += "<EOT>";
            break;
        case 5:
            out += "<ENQ>";
            break;
        case 6:
            out += "<ACK>";
            break;
        case 10:
            out += "<LF>";
            break;
        case 13:
            out += "<CR>";
            break;
        case 21:
            out += "<NAK>";
            break;
        case 27:
            out += "<ESC>";
            break;
        case 30:
            out += "<RS>";
            break;
        case 31:
            out += "<US>";
            break;
        default:
            out += '<';
            out += std::to_string(code);
            out += '>';
            break;
    }
}

std::string FormatTraceTime(const LocalTime& time) {
    std::string text = "00:00:00";
    PutTwoDigits(text, 0, time.Hour);
    PutTwoDigits(text, 3, time.Minute);
    PutTwoDigits(text, 6, time.Second);
    return text;
}

void WriteCommTrace(Gateway& gateway, int16_t port, const std::string& text, int16_t direction) {
    const bool toWindow = gateway.m_View.DebugWindowOpen();
    const bool toFile = CommDebugOn(gateway);
    if (!toWindow && !toFile) {
        return;  // nobody would see the rendering
    }
    const std::string head = FormatTraceTime(gateway.Now()) + TracePrefix(port, direction);
    std::string rendering;
    size_t pieceStart = 0;
    for (char c : text) {
        AppendTraceCharacter(rendering, static_cast<unsigned char>(c));
        if (rendering.size() - pieceStart > kDebugPieceLength) {
            if (toWindow) {
                gateway.m_View.AddDebugLine(head + rendering.substr(pieceStart));
            }
            pieceStart = rendering.size();
        }
    }
    if (toWindow && pieceStart < rendering.size()) {
        gateway.m_View.AddDebugLine(head + rendering.substr(pieceStart));
    }
    if (toFile) {
        // The file keeps the whole rendering on one line, however long.
        gateway.m_LogFolder.Append(kTraceFileName, ToSystemText(head + rendering + "\r\n"));
    }
}

void WriteTraceNote(Gateway& gateway, const std::string& note) {
    const bool toWindow = gateway.m_View.DebugWindowOpen();
    const bool toFile = CommDebugOn(gateway);
    if (!toWindow && !toFile) {
        return;
    }
    const std::string line = FormatTraceTime(gateway.Now()) + " " + note;
    if (toWindow) {
        gateway.m_View.AddDebugLine(line);
    }
    if (toFile) {
        gateway.m_LogFolder.Append(kTraceFileName, ToSystemText(line + "\r\n"));
    }
}

}  // namespace tw
