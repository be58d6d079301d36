#include "textout.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace tw::tools {

std::string Latin1ToUtf8(std::string_view latin1) {
    std::string text;
    text.reserve(latin1.size());
    for (char c : latin1) {
        auto code = static_cast<unsigned char>(c);
        if (code < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

namespace {

// Length of the UTF-8 sequence led by this byte (0 for a byte that cannot lead).
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string Utf8ToLatin1(std::string_view utf8) {
    std::string text;
    std::size_t k = 0;
    while (k < utf8.size()) {
        auto lead = static_cast<unsigned char>(utf8[k]);
        std::size_t length = lead < 0x80 ? 1 : SequenceLength(lead);
        bool valid = length >= 1 && k + length <= utf8.size();
        for (std::size_t j = 1; valid && j < length; ++j) {
            valid = IsContinuation(utf8[k + j]);
        }
        if (!valid) {
            text += utf8[k];
            ++k;
            continue;
        }
        if (length == 1) {
            text += utf8[k];
        } else if (length == 2 && lead <= 0xC3) {
            text += static_cast<char>(((lead & 0x03) << 6) | (utf8[k + 1] & 0x3F));
        } else {
            text += '?';
        }
        k += length;
    }
    return text;
}

bool LocaleIsUtf8() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            std::string_view text = value;
            return text.find("UTF-8") != std::string_view::npos ||
                   text.find("utf8") != std::string_view::npos ||
                   text.find("utf-8") != std::string_view::npos ||
                   text.find("UTF8") != std::string_view::npos;
        }
    }
    return false;
}

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
