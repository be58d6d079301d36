// INI text as the gateway reads it, and the grammar that turns its values into
// numbers and flags. Parsing only: which file is read, and when it is read
// again, is the settings source's business. The program never writes an INI
// file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tw {

// One INI file split into lines (ending in LF, CR LF or CR). Answers to value
// look-ups are remembered, so settings read per call (CommDebug on every
// trace) cost one hash look-up while the file is unchanged.
class IniFile {
  public:
    explicit IniFile(const std::string& content);

    const std::vector<std::string>& Lines() const { return m_Lines; }

    // The value of key in the first section of that name, by the value
    // reader's rules: names match without regard to case, the value is the
    // text after the first "=" of the first matching line with blanks
    // trimmed and one pair of enclosing quotes removed, cut to 2047
    // characters. Lines starting with ";" are comments; there are no
    // end-of-line comments. nullopt when the section or key is missing.
    std::optional<std::string> Value(const std::string& section, const std::string& key) const;

    // Copies the lines of one section (or, with an empty section, the names
    // of all sections) into buffer, each followed by one NUL, and returns the
    // number of characters written. buffer is resized to bufferSize. Section
    // headers are lines beginning with "[" that hold a "]", the name taken
    // untrimmed; empty and ";" lines are skipped. An entry is placed only
    // while written + length + 1 < bufferSize; after the first entry that
    // does not fit, no later entry is placed. 0 when the section is missing.
    int Section(const std::string& section, std::string& buffer, int bufferSize) const;

  private:
    std::vector<std::string> m_Lines;
    // Answers of Value, by section "\0" key; nullopt: not there.
    mutable std::unordered_map<std::string, std::optional<std::string>> m_Values;
};

// The section name of a header line by the value reader's rules: "[" after
// leading blanks, the name up to the first "]", blanks around it trimmed.
std::optional<std::string> IniHeaderName(const std::string& line);

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
