// Output of 8-bit (Latin-1) wire text: for a terminal and as JSON lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tw::tools {

// Text for a terminal: control characters as "\xNN", the rest converted to
// UTF-8 when utf8 is set, else left byte for byte.
std::string ForTerminal(std::string_view latin1, bool utf8);

// A JSON string literal (quotes included) of Latin-1 text.
std::string JsonString(std::string_view latin1);

// Builds one JSON object, member by member, for a single output line.
class JsonLine {
  public:
    JsonLine& Add(std::string_view key, std::string_view latin1Text);
    JsonLine& Add(std::string_view key, const char* latin1Text) {
        return Add(key, std::string_view(latin1Text));
    }
    JsonLine& Add(std::string_view key, std::int64_t number);
    JsonLine& Add(std::string_view key, int number) { return Add(key, std::int64_t{number}); }
    JsonLine& Add(std::string_view key, double number);
    JsonLine& Add(std::string_view key, bool flag);
    // A member whose value is already JSON (an object or array).
    JsonLine& AddRaw(std::string_view key, std::string_view json);
    std::string Text() const { return m_Text + "}"; }

  private:
    void Key(std::string_view key);
    std::string m_Text = "{";
};

// Wall-clock time of day for log output: "HH:MM:SS.mmm".
std::string TimeOfDay();

// Microseconds since the epoch, for correlating the output of several tools.
std::int64_t EpochMicros();

}  // namespace tw::tools
