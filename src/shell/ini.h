// Reading "Tellwick.ini" and any other INI file, and turning its texts into
// numbers and flags. The program never writes an INI file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tw {

// The program's folder, always ending in "/". Every file the program uses is
// named relative to it. Set once at start-up (the executable's folder, or
// --app-folder); tests point it at a temporary folder.
const std::string& AppFolder();
void SetAppFolder(std::string folder);

// fileName when not empty, else AppFolder + "Tellwick.ini". A relative name
// is taken relative to AppFolder.
std::string ResolveIniFile(const std::string& fileName);

// The value of key in section: names match without regard to case, the value
// is the text after the first "=" of the first matching line with blanks
// trimmed and one pair of enclosing quotes removed, cut to 2047 characters.
// A missing file, section or key gives defaultValue. Lines starting with ";"
// are comments; there are no end-of-line comments. Lines end with LF, CR LF
// or CR. The parsed file is cached and re-read when it changes on disk.
std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::string& defaultValue, const std::string& fileName = {});

// Copies the lines of one section (or, with an empty section, the names of
// all sections) into buffer, each followed by one NUL, and returns the number
// of characters written. buffer is resized to bufferSize. An entry is placed
// only while written + length + 1 < bufferSize; after the first entry that
// does not fit, no later entry is placed. Returns 0 when the file cannot be
// read or the section is not found.
int ReadIniSection(const std::string& section, std::string& buffer, int bufferSize,
                   const std::string& fileName = {});

// Field number index (0 is the first) of text split at every occurrence of
// delimiter; "" for a negative index or when there are fewer fields.
std::string GetField(const std::string& text, int16_t index, const std::string& delimiter);

// The leading number of text: blanks skipped (also between digits), optional
// sign, digits, optional decimal point and digits, optional exponent; 0 when
// the text does not begin with a number.
double ParseNumber(const std::string& text);

// ParseNumber, then true when not zero.
bool ToFlag(const std::string& text);

// ParseNumber rounded to the nearest integer with halves to the even
// neighbour; nullopt when the result does not fit in 32 bits.
std::optional<int32_t> ToWhole(const std::string& text);

// Seconds (fractions allowed) times 1000, rounded as ToWhole; nullopt when
// the result does not fit in 32 bits.
std::optional<int32_t> ToMilliseconds(const std::string& text);

// Blanks (0x20) removed at both ends.
std::string TrimBlanks(const std::string& text);

// ASCII upper-casing; bytes above 127 stay as they are.
std::string ToUpperAscii(std::string text);

}  // namespace tw
