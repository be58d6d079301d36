// Matches arbitrary texts against arbitrary patterns; the input is split at
// the first NUL into text and pattern. Checks, besides returning:
//   - a pattern without "*" and "?" matches exactly the equal (non-empty) text;
//   - "*" matches everything;
//   - a run of n "?" matches exactly the texts of n characters.
#include <algorithm>
#include <cstdint>
#include <string>

#include "format/wildcard.h"
#include "fuzzsupport.h"

using tw::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = std::min(input.find('\0'), input.size());
    const std::string text = input.substr(0, split);
    const std::string pattern = split < input.size() ? input.substr(split + 1) : std::string();

    const bool matched = tw::MatchWildcard(text, pattern);
    if (pattern.find_first_of("*?") == std::string::npos) {
        Check(matched == (!text.empty() && text == pattern));
    }
    Check(tw::MatchWildcard(text, "*"));
    if (!pattern.empty() && pattern.find_first_not_of('?') == std::string::npos) {
        Check(matched == (text.size() == pattern.size()));
    }
    Check(tw::MatchWildcard(text, text) || text.find_first_of("*?") != std::string::npos ||
          text.empty());
    return 0;
}
