#include "format/datepicture.h"

#include <langinfo.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <utility>
#include <vector>

#include "base/ini.h"
#include "base/systemtext.h"

namespace tw {
namespace {

enum class Part {
    Literal,
    Day,
    Day2,
    DayAbbr,
    DayName,
    ShortDate,
    LongDate,
    Weekday,
    Week,
    Month,
    Month2,
    MonthAbbr,
    MonthName,
    Minute,
    Minute2,
    Hour,
    Hour2,
    Second,
    Second2,
    Quarter,
    YearDay,
    Year2,
    Year4,
    LongTime,
    GeneralDate,
    HalfDay,        // AM/PM, am/pm, A/P, a/p: m_Text holds the element as written
    LocaleHalfDay,  // AMPM
};

struct Element {
    Part m_Part = Part::Literal;
    std::string m_Text;
};

struct Picture {
    std::vector<Element> m_Elements;
    bool m_TwelveHour = false;
};

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view lowerWord) {
    if (text.size() - at < lowerWord.size()) {
        return false;
    }
    for (size_t i = 0; i < lowerWord.size(); ++i) {
        if (Lower(text[at + i]) != lowerWord[i]) {
            return false;
        }
    }
    return true;
}

size_t RunLength(std::string_view text, size_t at) {
    size_t end = at;
    while (end < text.size() && Lower(text[end]) == Lower(text[at])) {
        ++end;
    }
    return end - at;
}

bool LastIsHour(const std::vector<Element>& elements) {
    for (auto it = elements.rbegin(); it != elements.rend(); ++it) {
        if (it->m_Part != Part::Literal) {
            return it->m_Part == Part::Hour || it->m_Part == Part::Hour2;
        }
    }
    return false;
}

// The element of a letter run at the head of the picture and how many
// characters it takes; Literal when the letter means nothing.
std::pair<Part, size_t> LetterElement(std::string_view picture, size_t at,
                                      const std::vector<Element>& before) {
    const size_t run = RunLength(picture, at);
    switch (Lower(picture[at])) {
        case 'c':
            return {Part::GeneralDate, 1};
        case 'd': {
            constexpr Part days[] = {Part::Day,     Part::Day2,      Part::DayAbbr,
                                     Part::DayName, Part::ShortDate, Part::LongDate};
            const size_t taken = std::min<size_t>(run, 6);
            return {days[taken - 1], taken};
        }
        case 'w':
            return run >= 2 ? std::pair{Part::Week, size_t{2}}
                            : std::pair{Part::Weekday, size_t{1}};
        case 'm': {
            const size_t taken = std::min<size_t>(run, 4);
            const bool minutes = taken <= 2 && LastIsHour(before);
            constexpr Part months[] = {Part::Month, Part::Month2, Part::MonthAbbr, Part::MonthName};
            if (minutes) {
                return {taken == 1 ? Part::Minute : Part::Minute2, taken};
            }
            return {months[taken - 1], taken};
        }
        case 'n':
            return run >= 2 ? std::pair{Part::Minute2, size_t{2}}
                            : std::pair{Part::Minute, size_t{1}};
        case 'h':
            return run >= 2 ? std::pair{Part::Hour2, size_t{2}} : std::pair{Part::Hour, size_t{1}};
        case 's':
            return run >= 2 ? std::pair{Part::Second2, size_t{2}}
                            : std::pair{Part::Second, size_t{1}};
        case 'q':
            return {Part::Quarter, 1};
        case 'y':
            if (run >= 4) {
                return {Part::Year4, 4};
            }
            return run >= 2 ? std::pair{Part::Year2, size_t{2}}
                            : std::pair{Part::YearDay, size_t{1}};
        case 't':
            if (run >= 5) {
                return {Part::LongTime, 5};
            }
            break;
        default:
            break;
    }
    return {Part::Literal, 1};
}

Picture ParsePicture(std::string_view picture) {
    Picture parsed;
    auto& elements = parsed.m_Elements;
    size_t at = 0;
    while (at < picture.size()) {
        const char c = picture[at];
        if (c == '"') {
            const size_t close = std::min(picture.find('"', at + 1), picture.size());
            elements.push_back(
                {Part::Literal, std::string(picture.substr(at + 1, close - at - 1))});
            at = close + 1;
        } else if (c == '\\') {
            if (at + 1 < picture.size()) {
                elements.push_back({Part::Literal, std::string(1, picture[at + 1])});
            }
            at += 2;
        } else if (StartsWithNoCase(picture, at, "am/pm") || StartsWithNoCase(picture, at, "a/p")) {
            const size_t length = StartsWithNoCase(picture, at, "am/pm") ? 5 : 3;
            elements.push_back({Part::HalfDay, std::string(picture.substr(at, length))});
            parsed.m_TwelveHour = true;
            at += length;
        } else if (StartsWithNoCase(picture, at, "ampm")) {
            elements.push_back({Part::LocaleHalfDay, {}});
            parsed.m_TwelveHour = true;
            at += 4;
        } else {
            const auto [part, length] = LetterElement(picture, at, elements);
            elements.push_back({part, part == Part::Literal ? std::string(1, c) : std::string()});
            at += length;
        }
    }
    return parsed;
}

bool IsCLocale() {
    const char* name = std::setlocale(LC_TIME, nullptr);
    if (name == nullptr) {
        return true;
    }
    const std::string_view view(name);
    return view == "C" || view == "POSIX" || view.starts_with("C.");
}

std::string LocaleFormat(const LocalTime& time, const char* format) {
    std::tm parts{};
    parts.tm_year = time.Year - 1900;
    parts.tm_mon = time.Month - 1;
    parts.tm_mday = time.Day;
    parts.tm_hour = time.Hour;
    parts.tm_min = time.Minute;
    parts.tm_sec = time.Second;
    parts.tm_wday = time.Weekday;
    parts.tm_yday = time.YearDay;
    char buffer[256];
    const size_t length = std::strftime(buffer, sizeof buffer, format, &parts);
    const std::string text(buffer, length);
    return TimeLocaleUsesUtf8() ? Utf8ToLatin1(text) : text;
}

std::string Digits(int value, int width) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
    return buffer;
}

std::string ShortDate(const LocalTime& time) {
    if (IsCLocale()) {
        return Digits(time.Year, 4) + "-" + Digits(time.Month, 2) + "-" + Digits(time.Day, 2);
    }
    return LocaleFormat(time, "%x");
}

std::string LongTime(const LocalTime& time) {
    if (IsCLocale()) {
        return Digits(time.Hour, 2) + ":" + Digits(time.Minute, 2) + ":" + Digits(time.Second, 2);
    }
    return LocaleFormat(time, "%X");
}

std::string LocaleHalfDay(const LocalTime& time) {
    const char* text = nl_langinfo(time.Hour < 12 ? AM_STR : PM_STR);
    if (text == nullptr || *text == '\0') {
        return time.Hour < 12 ? "AM" : "PM";
    }
    return TimeLocaleUsesUtf8() ? Utf8ToLatin1(text) : std::string(text);
}

// Week 1 holds 1 January, weeks start on Sunday.
int WeekOfYear(const LocalTime& time) {
    const int firstWeekday = ((time.Weekday - time.YearDay) % 7 + 7) % 7;
    return (time.YearDay + firstWeekday) / 7 + 1;
}

int Hour12(int hour) {
    return hour % 12 == 0 ? 12 : hour % 12;
}

std::string RenderElement(const Element& element, const LocalTime& time, bool twelveHour) {
    const int hour = twelveHour ? Hour12(time.Hour) : time.Hour;
    switch (element.m_Part) {
        case Part::Literal:
            return element.m_Text;
        case Part::Day:
            return std::to_string(time.Day);
        case Part::Day2:
            return Digits(time.Day, 2);
        case Part::DayAbbr:
            return LocaleFormat(time, "%a");
        case Part::DayName:
            return LocaleFormat(time, "%A");
        case Part::ShortDate:
            return ShortDate(time);
        case Part::LongDate:
            return FormatDatePicture(time, "Long Date");
        case Part::Weekday:
            return std::to_string(time.Weekday + 1);
        case Part::Week:
            return std::to_string(WeekOfYear(time));
        case Part::Month:
            return std::to_string(time.Month);
        case Part::Month2:
            return Digits(time.Month, 2);
        case Part::MonthAbbr:
            return LocaleFormat(time, "%b");
        case Part::MonthName:
            return LocaleFormat(time, "%B");
        case Part::Minute:
            return std::to_string(time.Minute);
        case Part::Minute2:
            return Digits(time.Minute, 2);
        case Part::Hour:
            return std::to_string(hour);
        case Part::Hour2:
            return Digits(hour, 2);
        case Part::Second:
            return std::to_string(time.Second);
        case Part::Second2:
            return Digits(time.Second, 2);
        case Part::Quarter:
            return std::to_string((time.Month - 1) / 3 + 1);
        case Part::YearDay:
            return std::to_string(time.YearDay + 1);
        case Part::Year2:
            return Digits(time.Year % 100, 2);
        case Part::Year4:
            return Digits(time.Year, 4);
        case Part::LongTime:
            return LongTime(time);
        case Part::GeneralDate:
            return ShortDate(time) + " " + LongTime(time);
        case Part::HalfDay: {
            const size_t slash = element.m_Text.find('/');
            return time.Hour < 12 ? element.m_Text.substr(0, slash)
                                  : element.m_Text.substr(slash + 1);
        }
        case Part::LocaleHalfDay:
            return LocaleHalfDay(time);
    }
    return {};
}

// The named formats that are pictures themselves; "Short Date" and "Long
// Time" are the locale's and handled apart.
const char* NamedPicture(const std::string& upperName) {
    struct Named {
        const char* m_Name;
        const char* m_Picture;
    };
    static constexpr Named named[] = {
        {"GENERAL DATE", "c"},        {"LONG DATE", "dddd, mmmm d, yyyy"},
        {"MEDIUM DATE", "dd-mmm-yy"}, {"SHORT DATE", "ddddd"},
        {"LONG TIME", "ttttt"},       {"MEDIUM TIME", "hh:nn AMPM"},
        {"SHORT TIME", "hh:nn"},
    };
    for (const Named& entry : named) {
        if (upperName == entry.m_Name) {
            return entry.m_Picture;
        }
    }
    return nullptr;
}

}  // namespace

std::string FormatDatePicture(const LocalTime& time, const std::string& picture) {
    const char* named = NamedPicture(ToUpperAscii(picture));
    const Picture parsed = ParsePicture(named != nullptr ? std::string_view(named) : picture);
    std::string result;
    for (const Element& element : parsed.m_Elements) {
        result += RenderElement(element, time, parsed.m_TwelveHour);
    }
    return result;
}

}  // namespace tw
