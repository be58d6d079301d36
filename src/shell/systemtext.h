// How 8-bit text (one character per byte, Latin-1) is written to files.
#pragma once

#include <string>

namespace tw {

// True when the process's locale (LC_ALL, LC_CTYPE, LANG) names UTF-8.
bool SystemUsesUtf8();

// The text as the system's character set stores it: on a UTF-8 system each
// character 0x80-0xFF becomes its Latin-1 code point in UTF-8; otherwise the
// bytes are kept as they are.
std::string ToSystemText(const std::string& latin1);

// Appends text to the file, creating it when missing. False on any failure.
bool AppendToFile(const std::string& path, const std::string& text);

}  // namespace tw
