// How 8-bit text (one character per byte, Latin-1) meets the system's
// character set: the one place that converts between Latin-1 and UTF-8 and
// decides whether a locale is a UTF-8 one.
#pragma once

#include <string>
#include <string_view>

namespace tw {

// True when a codeset or locale name ("UTF-8", "de_DE.utf8") names UTF-8.
bool NamesUtf8(std::string_view name);

// True when the process's character set is UTF-8 (nl_langinfo(CODESET),
// which follows setlocale).
bool SystemUsesUtf8();

// True when LC_TIME of the process names a UTF-8 locale, so that the texts
// strftime gives are UTF-8.
bool TimeLocaleUsesUtf8();

// Every byte as the Unicode character of the same code, in UTF-8.
std::string Latin1ToUtf8(std::string_view latin1);

// UTF-8 as Latin-1: characters up to U+00FF become their byte, characters
// beyond it "?"; bytes that are no valid UTF-8 are kept as they are.
std::string Utf8ToLatin1(std::string_view utf8);

// The text as the system's character set stores it: Latin1ToUtf8 on a UTF-8
// system, the bytes unchanged otherwise.
std::string ToSystemText(const std::string& latin1);

}  // namespace tw
