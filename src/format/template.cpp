#include "format/template.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/ini.h"
#include "format/datepicture.h"
#include "format/wildcard.h"

namespace tw {
namespace {

enum class TagKind { Date, Time, Description, Edit, Lookup, Character, Record, Unknown };

// Numbers in tags are 16-bit: out-of-range values saturate, so a range or a
// width can never ask for more than 32767 characters.
int TagNumber(const std::string& text) {
    const double number = std::nearbyint(ParseNumber(text));
    if (std::isnan(number)) {
        return 0;
    }
    return static_cast<int>(std::clamp(number, -32768.0, 32767.0));
}

std::string Argument(const std::string& content, int16_t index) {
    return GetField(content, index, ":");
}

// The position of the "]" that closes a tag opened at text[open], or npos
// when that "[" is plain text (no "]" after it, or another "[" first).
size_t TagEnd(const std::string& text, size_t open) {
    const size_t close = text.find(']', open + 1);
    if (close == std::string::npos || text.find('[', open + 1) < close) {
        return std::string::npos;
    }
    return close;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A plain decimal number with optional sign, point, exponent and blanks
// around it, and nothing else.
bool IsPlainNumber(const std::string& content) {
    const std::string text = TrimBlanks(content);
    size_t at = 0;
    auto digits = [&] {
        const size_t start = at;
        while (at < text.size() && IsDigit(text[at])) {
            ++at;
        }
        return at > start;
    };
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        ++at;
    }
    bool any = digits();
    if (at < text.size() && text[at] == '.') {
        ++at;
        any = digits() || any;
    }
    if (any && at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
            ++at;
        }
        any = digits();
    }
    return any && at == text.size();
}

std::optional<int> CharacterCode(const std::string& content) {
    if (!IsPlainNumber(content)) {
        return std::nullopt;
    }
    const double code = std::nearbyint(ParseNumber(content));
    if (!(code >= 1.0 && code <= 255.0)) {
        return std::nullopt;
    }
    return static_cast<int>(code);
}

// The tests in their order; the first that fits decides.
TagKind ClassifyTag(const std::string& content, const std::string& keyword) {
    if (keyword == "PCDATE" || keyword == "DATE" || keyword == "ALARMDATE") {
        return TagKind::Date;
    }
    if (keyword == "PCTIME" || keyword == "TIME" || keyword == "ALARMTIME") {
        return TagKind::Time;
    }
    if (keyword == "PORTDESCRIPTION") {
        return TagKind::Description;
    }
    if (keyword == "REPLACE" || keyword == "R" || keyword == "CUTFROM" || keyword == "CF" ||
        keyword == "CUTUNTIL" || keyword == "CU") {
        return TagKind::Edit;
    }
    if (keyword == "RFFC") {
        return TagKind::Lookup;
    }
    if (CharacterCode(content)) {
        return TagKind::Character;
    }
    if (!keyword.empty() && keyword[0] == 'F') {
        return TagKind::Record;
    }
    return TagKind::Unknown;
}

// Range (a-b, 0-based, inclusive) and then width.
void ApplyOptions(const std::string& content, std::string& value) {
    if (content.find(':') == std::string::npos) {
        return;
    }
    const std::string range = Argument(content, 1);
    if (!range.empty()) {
        const int first = std::max(TagNumber(GetField(range, 0, "-")), 0);
        int last = TagNumber(GetField(range, 1, "-"));
        if (last == 0 || last < first) {
            last = first;
        }
        const auto start = static_cast<size_t>(first);
        value = start < value.size() ? value.substr(start, static_cast<size_t>(last - first) + 1)
                                     : std::string();
    }
    const std::string width = Argument(content, 2);
    if (!width.empty()) {
        const int count = TagNumber(width);
        if (count >= 0) {
            value.resize(static_cast<size_t>(count), ' ');
        }
    }
}

unsigned long HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned long>(c) - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<unsigned long>(c) - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<unsigned long>(c) - 'a' + 10;
    }
    return 0;
}

// Search texts are upper case and may spell any character as "\X" and two
// hex digits; the scan goes on after each decoded character.
std::string EditSearchText(const std::string& edit) {
    std::string search = ToUpperLatin1(Argument(edit, 1));
    size_t from = 0;
    for (size_t at = search.find("\\X"); at != std::string::npos && at + 4 <= search.size();
         at = search.find("\\X", from)) {
        search.replace(at, 4, 1, static_cast<char>(HexValue(search.substr(at + 2, 2))));
        from = at + 1;
    }
    return search;
}

void ReplaceAll(std::string& value, const std::string& search, const std::string& replacement) {
    if (search.empty() || replacement == search) {
        return;
    }
    const std::string upper = ToUpperLatin1(value);
    std::string result;
    size_t from = 0;
    for (size_t at = upper.find(search); at != std::string::npos; at = upper.find(search, from)) {
        result.append(value, from, at - from);
        result += replacement;
        from = at + search.size();
        if (result.size() > kMaxExpandedLength) {
            result.resize(kMaxExpandedLength);
            value = std::move(result);
            return;
        }
    }
    result.append(value, from);
    value = std::move(result);
}

void ApplyEdit(const std::string& edit, std::string& value) {
    const std::string keyword = ToUpperAscii(Argument(edit, 0));
    const std::string search = EditSearchText(edit);
    const std::string argument = Argument(edit, 2);
    if (keyword == "REPLACE" || keyword == "R") {
        ReplaceAll(value, search, argument);
        return;
    }
    const size_t found = search.empty() ? std::string::npos : ToUpperLatin1(value).find(search);
    if (found == std::string::npos) {
        return;
    }
    const auto position = static_cast<int64_t>(found) + 1;  // 1-based
    const int64_t offset = TagNumber(argument);
    const auto size = static_cast<int64_t>(value.size());
    if (keyword == "CUTFROM" || keyword == "CF") {
        const int64_t end = position + offset;
        value.resize(end < 1 ? 0 : static_cast<size_t>(std::min(end - 1, size)));
        return;
    }
    const int64_t start = position + offset + static_cast<int64_t>(search.size());
    if (start > 0) {
        value = start - 1 < size ? value.substr(static_cast<size_t>(start - 1)) : std::string();
    }
}

std::optional<std::string> RecordValue(const std::string& keyword, const RecordTable& Records) {
    const double index = std::nearbyint(ParseNumber(keyword.substr(1)));
    if (!(index >= 0.0 && index <= 15.0)) {
        return std::nullopt;
    }
    return Records[static_cast<size_t>(index)];
}

// The value of a tag that is not an edit, or nullopt when it has none.
std::optional<std::string> TagValue(TagKind kind, const std::string& content,
                                    const std::string& keyword, const TemplateContext& in) {
    std::optional<std::string> value;
    switch (kind) {
        case TagKind::Date:
            value = FormatDatePicture(in.m_Now, in.m_DatePattern);
            break;
        case TagKind::Time:
            value = FormatDatePicture(in.m_Now, in.m_TimePattern);
            break;
        case TagKind::Description:
            value = in.m_Description;
            break;
        case TagKind::Lookup:
            return FindMatchingKey(in.m_Settings, Argument(content, 1), Argument(content, 2),
                                   Argument(content, 3), in.m_Records);
        case TagKind::Character:
            return std::string(1, static_cast<char>(*CharacterCode(content)));
        case TagKind::Record:
            value = RecordValue(keyword, in.m_Records);
            break;
        case TagKind::Edit:
        case TagKind::Unknown:
            return std::nullopt;
    }
    if (value) {
        ApplyOptions(content, *value);
    }
    return value;
}

}  // namespace

std::string ExpandFormatTemplate(const std::string& formatTemplate,
                                 const TemplateContext& context) {
    std::string text = formatTemplate;
    std::vector<std::string> pendingEdits;
    size_t position = 0;
    while (position < text.size()) {
        const size_t close = text[position] == '[' ? TagEnd(text, position) : std::string::npos;
        if (close == std::string::npos) {
            ++position;
            continue;
        }
        const size_t tagLength = close - position + 1;
        const std::string content = text.substr(position + 1, tagLength - 2);
        const std::string keyword = ToUpperAscii(Argument(content, 0));
        const TagKind kind = ClassifyTag(content, keyword);
        if (kind == TagKind::Edit) {
            pendingEdits.push_back(content);
            text.erase(position, tagLength);
            continue;
        }
        std::optional<std::string> value = TagValue(kind, content, keyword, context);
        if (!value) {
            ++position;  // the tag stays as written
            continue;
        }
        for (const std::string& edit : pendingEdits) {
            ApplyEdit(edit, *value);
        }
        pendingEdits.clear();
        const size_t kept = text.size() - tagLength;
        value->resize(
            std::min(value->size(), kMaxExpandedLength - std::min(kept, kMaxExpandedLength)));
        text.replace(position, tagLength, *value);
        position += value->size();
    }
    return text;
}

unsigned long HexValue(const std::string& text) {
    unsigned long value = 0;
    for (const char c : text) {
        value = value * 16 + HexDigit(c);
    }
    return value;
}

}  // namespace tw
