#include "base/ini.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(IniValueTest, ReadsValuesByTheReaderRules) {
    const IniFile file(
        "; a comment line\r\n"
        "[General]\r\n"
        "ReconnectInterval = 30 ; trailing text stays\r\n"
        "Quoted=\"  spaced  \"\r\n"
        "Single='x'\r\n"
        "Mismatched=\"x'\r\n"
        "Equation=a=b=c\r\n"
        ";Hidden=1\r\n"
        "Empty=\r\n"
        "Twice=first\r\n"
        "Twice=second\r\n"
        "[ Other ]\n"
        "Key=lf-only\n"
        "[Cr]\rKey=cr-only\r"
        "[General]\n"
        "Late=from second General section\n");
    struct Row {
        const char* section;
        const char* key;
        const char* expected;
    };
    const Row rows[] = {
        {"General", "ReconnectInterval", "30 ; trailing text stays"},
        {"GENERAL", "reconnectinterval", "30 ; trailing text stays"},
        {"General", "Quoted", "  spaced  "},
        {"General", "Single", "x"},
        {"General", "Mismatched", "\"x'"},
        {"General", "Equation", "a=b=c"},
        {"General", "Hidden", "default"},
        {"General", "Empty", ""},
        {"General", "Twice", "first"},
        {"Other", "Key", "lf-only"},
        {"cr", "key", "cr-only"},
        {"General", "Late", "default"},
        {"Missing", "Key", "default"},
        {"General", "Missing", "default"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(file.Value(row.section, row.key).value_or("default"), row.expected)
            << row.section << "/" << row.key;
    }
}

TEST(IniValueTest, ValuesAreCutTo2047Characters) {
    const IniFile file("[S]\nLong=" + std::string(5000, 'v') + "\n");
    EXPECT_EQ(file.Value("S", "Long")->size(), 2047U);
}

TEST(IniSectionTest, FollowsTheRoomRule) {
    const IniFile file("[Aliases]\nabcd\nefgh\nij\n");
    std::string buffer;
    // abcd fits (5), efgh would need 10, which is not less than 10: full, and
    // the shorter ij after it is not placed either.
    EXPECT_EQ(file.Section("Aliases", buffer, 10), 5);
    EXPECT_EQ(buffer.substr(0, 5), std::string("abcd\0", 5));
    EXPECT_EQ(file.Section("Aliases", buffer, 11), 10);
    EXPECT_EQ(file.Section("Aliases", buffer, 14), 13);
    EXPECT_EQ(buffer.substr(0, 13), std::string("abcd\0efgh\0ij\0", 13));
}

TEST(IniSectionTest, HeaderAndEntryRules) {
    const IniFile file(
        "[First]\n"
        "x=1\n"
        "[ALIASES] ; comment after the header\r\n"
        "Fire = F*,SMOKE*\r\n"
        "\r\n"
        "; skipped comment\r\n"
        "[Aliases without bracket\r\n"
        "  indented line\r\n"
        "[Next]\n"
        "y=2\n"
        "[Aliases]\n"
        "second=section is never read\n");
    std::string buffer;
    const int written = file.Section("Aliases", buffer, 1000);
    EXPECT_EQ(buffer.substr(0, written),
              std::string("Fire = F*,SMOKE*\0[Aliases without bracket\0  indented line\0", 58));
    const int names = file.Section("", buffer, 1000);
    EXPECT_EQ(buffer.substr(0, names), std::string("First\0ALIASES\0Next\0Aliases\0", 27));
    EXPECT_EQ(file.Section("Missing", buffer, 1000), 0);
}

// GetField is proven where it splits: the template options, the COM and
// remote-address settings and the serial line settings.
TEST(NumberTest, ConvertsTextsByTheNumberRules) {
    struct Row {
        const char* text;
        double number;
    };
    const Row rows[] = {
        {"30", 30},          {"  30 ; comment", 30},
        {"1 2 3", 123},      {"-1", -1},
        {"+4", 4},           {"2.5", 2.5},
        {"1e3", 1000},       {"1.5E-1", 0.15},
        {"12abc", 12},       {"yes", 0},
        {"true", 0},         {"", 0},
        {".5", 0.5},         {"- 7", -7},
        {"4 001.5", 4001.5}, {"1e", 1},
    };
    for (const Row& row : rows) {
        EXPECT_DOUBLE_EQ(ParseNumber(row.text), row.number) << '"' << row.text << '"';
    }
}

TEST(NumberTest, FlagsWholesAndMilliseconds) {
    EXPECT_TRUE(ToFlag("1"));
    EXPECT_TRUE(ToFlag("-1"));
    EXPECT_TRUE(ToFlag("5"));
    EXPECT_TRUE(ToFlag("0.5"));
    EXPECT_FALSE(ToFlag("0"));
    EXPECT_FALSE(ToFlag(""));
    EXPECT_FALSE(ToFlag("true"));

    struct Row {
        const char* text;
        std::optional<int32_t> whole;
        std::optional<int32_t> ms;
    };
    const Row rows[] = {
        {"4001.5", 4002, 4001500},
        {"4002.5", 4002, 4002500},
        {"-2.5", -2, -2500},
        {"2.5", 2, 2500},
        {"0.5", 0, 500},
        {"2147483", 2147483, 2147483000},
        {"2147484", 2147484, std::nullopt},
        {"1e12", std::nullopt, std::nullopt},
        {"-2147483648", INT32_MIN, std::nullopt},
        {"2147483648", std::nullopt, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ToWhole(row.text), row.whole) << row.text;
        EXPECT_EQ(ToMilliseconds(row.text), row.ms) << row.text;
    }
}

}  // namespace
}  // namespace tw
