#include "ui/debuginfo.h"

#include <cstdio>

#include "base/eventlog.h"

namespace tw {

std::string FormatDebugInfo(const std::vector<std::string>& lines, const LocalTime& savedAt) {
    static const char* const kEnd = "\r\n";
    std::string block = "DEBUG INFO";
    block += kEnd;
    block += "Saved from Tellwick for Zorvan Alarm Server Debug " + FormatStamp(savedAt) + kEnd;
    block += std::string(100, '-') + kEnd;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "%03zu ", i);
        block += number + lines[i] + kEnd;
    }
    block += std::string(80, '-') + kEnd;
    return block;
}

}  // namespace tw
