#include "format/wildcard.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <vector>

#include "base/ini.h"

namespace tw {
namespace {

constexpr int kLookupBufferSize = 10240;

// Plain data: the token array of a compiled pattern is filled, not
// initialised, since a pattern is compiled anew for every match.
struct PatternToken {
    enum class Kind { Literal, QuestionRun, Star };
    Kind m_Kind;
    std::string_view m_Literal;  // Literal, and the text a Star binds to (views the pattern)
    size_t m_Count;              // QuestionRun
};

struct CompiledPattern {
    std::array<PatternToken, kMaxPatternTokens> m_Tokens;
    int m_Count = 0;
};

size_t NextWildcard(const std::string& pattern, size_t from) {
    while (from < pattern.size() && pattern[from] != '*' && pattern[from] != '?') {
        ++from;
    }
    return from;
}

CompiledPattern CompilePattern(const std::string& pattern) {
    CompiledPattern compiled;
    size_t at = 0;
    while (at < pattern.size() && compiled.m_Count < kMaxPatternTokens) {
        PatternToken& token = compiled.m_Tokens[static_cast<size_t>(compiled.m_Count++)];
        token.m_Literal = {};
        token.m_Count = 0;
        const char first = pattern[at];
        if (first == '?') {
            const size_t end = std::min(pattern.find_first_not_of('?', at), pattern.size());
            token.m_Kind = PatternToken::Kind::QuestionRun;
            token.m_Count = end - at;
            at = end;
            continue;
        }
        // A star's literal, like a plain literal, runs to the next wildcard.
        const size_t literalStart = first == '*' ? at + 1 : at;
        const size_t end = NextWildcard(pattern, literalStart);
        token.m_Kind = first == '*' ? PatternToken::Kind::Star : PatternToken::Kind::Literal;
        token.m_Literal = std::string_view(pattern).substr(literalStart, end - literalStart);
        at = end;
    }
    return compiled;
}

// Consumes the head of rest for one token; false when the token does not fit.
bool ConsumeToken(const PatternToken& token, bool isLast, std::string_view& rest) {
    switch (token.m_Kind) {
        case PatternToken::Kind::Literal:
            if (!rest.starts_with(token.m_Literal)) {
                return false;
            }
            rest.remove_prefix(token.m_Literal.size());
            return true;
        case PatternToken::Kind::QuestionRun:
            if (rest.size() < token.m_Count) {
                return false;
            }
            rest.remove_prefix(token.m_Count);
            return true;
        case PatternToken::Kind::Star:
            if (token.m_Literal.empty()) {
                if (isLast) {
                    rest = {};
                }
                return true;
            }
            const size_t found = rest.find(token.m_Literal);
            if (found == std::string_view::npos) {
                return false;
            }
            rest.remove_prefix(found + token.m_Literal.size());
            return true;
    }
    return false;
}

std::vector<std::string> SplitAt(const std::string& text, char delimiter) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t found = text.find(delimiter); found != std::string::npos;
         found = text.find(delimiter, start)) {
        parts.push_back(text.substr(start, found - start));
        start = found + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// The lines ReadIniSection placed, up to the first empty one.
std::vector<std::string> ReadLookupEntries(SettingsSource& settings, const std::string& fileName,
                                           const std::string& sectionName) {
    std::string buffer;
    const int written = ReadIniSection(settings, sectionName, buffer, kLookupBufferSize, fileName);
    buffer.resize(static_cast<size_t>(std::max(written, 0)));
    std::vector<std::string> entries;
    size_t start = 0;
    while (start < buffer.size()) {
        const size_t end = std::min(buffer.find('\0', start), buffer.size());
        if (end == start) {
            break;
        }
        entries.push_back(buffer.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

// The upper-cased records that the record list names, in its order. An
// empty element ends the list; numbers outside 0..15 are skipped.
std::vector<std::string> ListedRecords(const std::string& recordList, const RecordTable& Records) {
    std::vector<std::string> listed;
    for (const std::string& element : SplitAt(recordList, ',')) {
        if (element.empty()) {
            break;
        }
        const double index = std::nearbyint(ParseNumber(element));
        if (index >= 0.0 && index <= 15.0) {
            listed.push_back(ToUpperLatin1(Records[static_cast<size_t>(index)]));
        }
    }
    return listed;
}

// The patterns of an entry, blank-trimmed and upper-cased, up to the first
// empty one.
std::vector<std::string> EntryPatterns(const std::string& entry) {
    std::vector<std::string> patterns;
    for (const std::string& raw : SplitAt(TextAfter(entry, '='), ',')) {
        std::string pattern = ToUpperLatin1(TrimBlanks(raw));
        if (pattern.empty()) {
            break;
        }
        patterns.push_back(std::move(pattern));
    }
    return patterns;
}

bool AnyPatternMatches(const std::string& upperRecord, const std::vector<std::string>& patterns) {
    return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& pattern) {
        return MatchWildcard(upperRecord, pattern);
    });
}

}  // namespace

bool MatchWildcard(const std::string& text, const std::string& pattern) {
    if (pattern == "*") {
        return true;
    }
    if (text.empty()) {
        return false;
    }
    const CompiledPattern compiled = CompilePattern(pattern);
    std::string_view rest = text;
    for (int i = 0; i < compiled.m_Count; ++i) {
        if (!ConsumeToken(compiled.m_Tokens[static_cast<size_t>(i)], i == compiled.m_Count - 1,
                          rest)) {
            return false;
        }
    }
    return rest.empty();
}

std::string TextAfter(const std::string& text, char delimiter) {
    const size_t found = text.find(delimiter);
    return found == std::string::npos ? std::string() : text.substr(found + 1);
}

std::string ToUpperLatin1(std::string text) {
    for (char& c : text) {
        const auto code = static_cast<unsigned char>(c);
        if ((code >= 'a' && code <= 'z') || (code >= 0xE0 && code <= 0xFE && code != 0xF7)) {
            c = static_cast<char>(code - 0x20);
        }
    }
    return text;
}

std::optional<std::string> FindMatchingKey(SettingsSource& settings, const std::string& recordList,
                                           const std::string& fileName,
                                           const std::string& sectionName,
                                           const RecordTable& Records) {
    std::optional<std::string> result;
    const std::vector<std::string> listed = ListedRecords(recordList, Records);
    if (listed.empty()) {
        return result;
    }
    for (const std::string& entry : ReadLookupEntries(settings, fileName, sectionName)) {
        const std::vector<std::string> patterns = EntryPatterns(entry);
        // Every listed record is tried; any match gives this entry's key.
        if (std::any_of(listed.begin(), listed.end(), [&](const std::string& record) {
                return AnyPatternMatches(record, patterns);
            })) {
            result = entry.substr(0, entry.find('='));
        }
    }
    return result;
}

}  // namespace tw
