// The block that "Save Debug Info" appends to debug.txt: a heading with the
// save time, then every debug-window line numbered from 000.
#pragma once

#include <string>
#include <vector>

#include "base/clock.h"

namespace tw {

// "DEBUG INFO", "Saved from Tellwick for Zorvan Alarm Server Debug " + the
// stamp "YY-MM-DD HH:NN:SS", 100 "-", each line as "%03d " + text, 80 "-";
// every line ends in CR LF. The text stays 8-bit; the caller converts it for
// the file.
std::string FormatDebugInfo(const std::vector<std::string>& lines, const LocalTime& savedAt);

// The save file in the application folder, whatever the menu caption says.
inline constexpr const char* kDebugInfoFileName = "debug.txt";

}  // namespace tw
