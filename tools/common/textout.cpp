#include "textout.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "base/systemtext.h"

namespace tw::tools {

namespace {

std::string HexEscape(unsigned char code, const char* prefix) {
    std::array<char, 8> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%s%02x", prefix, code);
    return buffer.data();
}

}  // namespace

std::string ForTerminal(std::string_view latin1, bool utf8) {
    std::string text;
    for (char c : latin1) {
        auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F) {
            text += HexEscape(code, "\\x");
        } else if (code >= 0x80 && utf8) {
            text += Latin1ToUtf8(std::string_view(&c, 1));
        } else {
            text += c;
        }
    }
    return text;
}

std::string JsonString(std::string_view latin1) {
    std::string text = "\"";
    for (char c : latin1) {
        auto code = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                text += "\\\"";
                break;
            case '\\':
                text += "\\\\";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\r':
                text += "\\r";
                break;
            case '\t':
                text += "\\t";
                break;
            default:
                if (code < 0x20) {
                    text += HexEscape(code, "\\u00");
                } else {
                    text += Latin1ToUtf8(std::string_view(&c, 1));
                }
        }
    }
    return text + "\"";
}

void JsonLine::Key(std::string_view key) {
    if (m_Text.size() > 1) {
        m_Text += ',';
    }
    m_Text += JsonString(key);
    m_Text += ':';
}

JsonLine& JsonLine::Add(std::string_view key, std::string_view latin1Text) {
    Key(key);
    m_Text += JsonString(latin1Text);
    return *this;
}

JsonLine& JsonLine::Add(std::string_view key, std::int64_t number) {
    Key(key);
    m_Text += std::to_string(number);
    return *this;
}

JsonLine& JsonLine::Add(std::string_view key, double number) {
    Key(key);
    std::array<char, 32> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.3f", number);
    m_Text += buffer.data();
    return *this;
}

JsonLine& JsonLine::Add(std::string_view key, bool flag) {
    Key(key);
    m_Text += flag ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::AddRaw(std::string_view key, std::string_view json) {
    Key(key);
    m_Text += json;
    return *this;
}

std::string TimeOfDay() {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    std::array<char, 16> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(millis));
    return buffer.data();
}

std::int64_t EpochMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace tw::tools
