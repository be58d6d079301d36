#include "base/ini.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

namespace tw {
namespace {

constexpr size_t kMaxValueLength = 2047;

bool IsIniBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string TrimIniBlanks(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsIniBlank(text[first])) {
        ++first;
    }
    while (last > first && IsIniBlank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ToUpperAscii(a) == ToUpperAscii(b);
}

// Splits file content into lines ending in LF, CR LF or CR.
std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < content.size(); ++i) {
        const char c = content[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') {
                ++i;
            }
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty()) {
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string StripQuotes(const std::string& value) {
    if (value.size() >= 2) {
        const char first = value.front();
        if ((first == '"' || first == '\'') && value.back() == first) {
            return value.substr(1, value.size() - 2);
        }
    }
    return value;
}

std::optional<int32_t> RoundToInt32(double value) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    const double rounded = std::nearbyint(value);  // default mode: halves to even
    if (rounded < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<int32_t>(rounded);
}

// Different keys asked of one file version beyond this start the memo afresh.
constexpr size_t kMaxRememberedValues = 1024;

// The value of key in the first section of that name; nullopt when absent.
std::optional<std::string> FindIniValue(const std::vector<std::string>& lines,
                                        const std::string& section, const std::string& key) {
    const std::string wantedKey = TrimIniBlanks(key);
    bool inSection = false;
    bool seenSection = false;
    for (const std::string& line : lines) {
        if (auto header = IniHeaderName(line)) {
            if (seenSection) {
                break;  // only the first section of that name is read
            }
            inSection = EqualNoCase(*header, TrimIniBlanks(section));
            seenSection = inSection;
            continue;
        }
        if (!inSection || line.empty() || line[0] == ';') {
            continue;
        }
        const size_t equals = line.find('=');
        const std::string lineKey = TrimIniBlanks(line.substr(0, equals));
        if (lineKey.empty() || !EqualNoCase(lineKey, wantedKey)) {
            continue;
        }
        if (equals == std::string::npos) {
            return std::string();
        }
        std::string value = StripQuotes(TrimIniBlanks(line.substr(equals + 1)));
        if (value.size() > kMaxValueLength) {
            value.resize(kMaxValueLength);
        }
        return value;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> IniHeaderName(const std::string& line) {
    const std::string trimmed = TrimIniBlanks(line);
    if (trimmed.empty() || trimmed[0] != '[') {
        return std::nullopt;
    }
    const size_t close = trimmed.find(']');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    return TrimIniBlanks(trimmed.substr(1, close - 1));
}

IniFile::IniFile(const std::string& content) : m_Lines(SplitLines(content)) {}

std::optional<std::string> IniFile::Value(const std::string& section,
                                          const std::string& key) const {
    std::string memoKey = section;
    memoKey += '\0';
    memoKey += key;
    auto known = m_Values.find(memoKey);
    if (known == m_Values.end()) {
        if (m_Values.size() >= kMaxRememberedValues) {
            m_Values.clear();
        }
        known = m_Values.emplace(std::move(memoKey), FindIniValue(m_Lines, section, key)).first;
    }
    return known->second;
}

int IniFile::Section(const std::string& section, std::string& buffer, int bufferSize) const {
    buffer.assign(bufferSize > 0 ? static_cast<size_t>(bufferSize) : 0, '\0');
    int64_t written = 0;
    bool full = false;
    auto place = [&](const std::string& entry) {
        const auto length = static_cast<int64_t>(entry.size());
        if (!full && written + length + 1 < bufferSize) {
            buffer.replace(static_cast<size_t>(written), entry.size(), entry);
            written += length + 1;
        } else {
            full = true;
        }
    };
    bool inSection = false;
    for (const std::string& line : m_Lines) {
        const bool isHeader =
            !line.empty() && line[0] == '[' && line.find(']') != std::string::npos;
        if (isHeader) {
            const std::string name = line.substr(1, line.find(']') - 1);
            if (section.empty()) {
                place(name);
                continue;
            }
            if (inSection) {
                break;
            }
            inSection = EqualNoCase(name, section);
            continue;
        }
        if (inSection && !line.empty() && line[0] != ';') {
            place(line);
        }
    }
    return static_cast<int>(written);
}

std::string GetField(const std::string& text, int16_t index, const std::string& delimiter) {
    if (delimiter.empty()) {
        return index == 0 ? text : std::string();
    }
    size_t start = 0;
    size_t pos = text.find(delimiter);
    int n = index;
    while (n > 0 && pos != std::string::npos) {
        start = pos + delimiter.size();
        pos = text.find(delimiter, start);
        --n;
    }
    if (n != 0) {
        return {};
    }
    if (pos == std::string::npos) {
        pos = text.size();
    }
    return text.substr(start, pos - start);
}

double ParseNumber(const std::string& text) {
    // Collect the number without its blanks, then convert it in one step so
    // that decimal fractions round exactly as written.
    std::string cleaned;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && IsIniBlank(text[i])) {
            ++i;
        }
    };
    auto isDigit = [&](size_t at) {
        return at < text.size() && text[at] >= '0' && text[at] <= '9';
    };
    auto takeDigits = [&] {
        bool any = false;
        for (skipBlanks(); isDigit(i); skipBlanks()) {
            cleaned.push_back(text[i++]);
            any = true;
        }
        return any;
    };
    skipBlanks();
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        cleaned.push_back(text[i++]);
    }
    bool anyDigit = takeDigits();
    if (i < text.size() && text[i] == '.') {
        cleaned.push_back(text[i++]);
        anyDigit = takeDigits() || anyDigit;
    }
    if (!anyDigit) {
        return 0.0;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            exponent.push_back(text[j++]);
        }
        if (isDigit(j)) {
            while (isDigit(j)) {
                exponent.push_back(text[j++]);
            }
            cleaned += exponent;
        }
    }
    return std::strtod(cleaned.c_str(), nullptr);
}

bool ToFlag(const std::string& text) {
    return ParseNumber(text) != 0.0;
}

std::optional<int32_t> ToWhole(const std::string& text) {
    return RoundToInt32(ParseNumber(text));
}

std::optional<int32_t> ToMilliseconds(const std::string& text) {
    return RoundToInt32(ParseNumber(text) * 1000.0);
}

std::string TrimBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string ToUpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

}  // namespace tw
