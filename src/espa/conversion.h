// National characters of the control stations turned into ISO Latin-1. Both
// conversions replace single characters by single characters, so the length
// never changes; characters not in their table are copied.
#pragma once

#include <string>

namespace tw {

// The Swedish 7-bit variant of ASCII: [ ] \ { } | become Ä Å Ö ä å ö.
std::string Swedish7BitToLatin1(std::string text);

// The 17 national characters of the DOS code page the stations use.
std::string DOSToLatin1(std::string text);

}  // namespace tw
