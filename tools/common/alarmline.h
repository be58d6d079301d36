// Decoding the gateway's alarm lines: "1" or "0", "|||", then six fields
// T0..T5 separated by "|"; the watchdog line is "1|||" and a tag name.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tw::tools {

enum class LineKind {
    Alarm,     // state, "|||", six fields
    Watchdog,  // state, "|||", one field (the watchdog tag)
    Empty,     // nothing between two line feeds
    Other,     // anything else, kept raw
};

struct AlarmLine {
    LineKind m_Kind = LineKind::Other;
    int m_State = -1;                     // 1 raised, 0 restored; -1 when not an alarm or watchdog
    std::array<std::string, 6> m_Fields;  // T0..T5; the watchdog tag is m_Fields[0]
    // More than five separators after "|||": a field held a "|" that the line
    // cannot show; the surplus stays in T5.
    bool m_ExtraSeparators = false;
    std::string m_Raw;
};

// Decodes one line without its line feed.
AlarmLine ParseAlarmLine(std::string_view line);

std::string_view AlarmStateName(int state);

// Splits the byte stream of one connection into decoded lines. The gateway
// ends its watchdog message with a line feed of its own and the route adds
// another, so the empty line right after a watchdog line belongs to it and is
// dropped here; any other empty line is passed on.
class AlarmLineReader {
  public:
    static constexpr std::size_t MaxLineLength = 1 << 20;

    // Appends bytes and returns the lines they complete, in order. A line that
    // grows beyond MaxLineLength without a line feed is cut there and passed
    // on as a line of its own, so the buffer stays bounded.
    std::vector<AlarmLine> Feed(std::string_view bytes);

    // Forgets a partial line (the connection ended).
    void Reset();

  private:
    void Complete(std::string_view line, std::vector<AlarmLine>& lines);

    std::string m_Pending;
    bool m_AfterWatchdog = false;
};

}  // namespace tw::tools
