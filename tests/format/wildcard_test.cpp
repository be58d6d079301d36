#include "format/wildcard.h"

#include <gtest/gtest.h>

#include "support/fakesettings.h"

namespace tw {
namespace {

using test::FakeSettings;

// Literal patterns and "*" alone are the fuzz target's invariants.
TEST(MatchWildcardTest, MatchesByTheStarAndQuestionRules) {
    struct Row {
        const char* text;
        const char* pattern;
        bool expected;
    };
    const Row rows[] = {
        {"", "A*", false},        {"ABC", "A*", true},     {"BAC", "*A*", true},
        {"XAB", "*AB", true},     {"XABAB", "*AB", false}, {"ABC", "A?C", true},
        {"AC", "A?C", false},     {"A", "*?", true},       {"AB", "*?", false},
        {"AXBXC", "A*B*C", true}, {"ABC", "**", true},     {"ABC", "*B?", true},
        {"ABCD", "*B?", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(MatchWildcard(row.text, row.pattern), row.expected)
            << '"' << row.text << "\" against \"" << row.pattern << '"';
    }
}

TEST(MatchWildcardTest, PatternBeyondThirtyOneTokensIsMatchedByItsHead) {
    // "A?" sixteen times is 32 tokens: the last "?" is ignored.
    std::string pattern;
    std::string text;
    for (int i = 0; i < 16; ++i) {
        pattern += "A?";
        text += "AB";
    }
    EXPECT_TRUE(MatchWildcard(text.substr(0, text.size() - 1), pattern));
    EXPECT_FALSE(MatchWildcard(text, pattern));
    // Thousands of tokens compile without trouble.
    std::string longPattern;
    for (int i = 0; i < 5000; ++i) {
        longPattern += "*A?";
    }
    EXPECT_FALSE(MatchWildcard("XYZ", longPattern));
}

TEST(ToUpperLatin1Test, UpperCasesAccentedLettersButNotDivisionSign) {
    EXPECT_EQ(ToUpperLatin1("br\xe4nd \xf7 \xff"), "BR\xc4ND \xf7 \xff");
}

class FindMatchingKeyTest : public ::testing::Test {
  protected:
    FakeSettings m_Ini;
    RecordTable m_Records;
};

TEST_F(FindMatchingKeyTest, ReturnsKeyOfLastMatchingEntry) {
    m_Ini.Write("Tellwick.ini",
                "[General]\r\nUseFormatSection=1\r\n"
                "[Lookup]\r\nFire=F*, SMOKE* ,\r\nTech=T*\r\n"
                "; comment=*\r\nA=1*\r\nB=12*\r\nNoEquals\r\nEq=X=Y\r\n"
                "[Other]\r\nX=*\r\n"
                "[Classes]\nOther=*\nFire=*FIRE*\n[L]\n Fire Alarm =f*\n");
    m_Ini.Write("classes.ini", "[Detectors]\nSmoke=*R\xd6K*\n");
    struct Row {
        const char* list;
        int record;
        const char* text;
        std::optional<std::string> expected;
        const char* section = "lookup";
        const char* file = "";
    };
    const Row rows[] = {
        {"4", 4, "smoke detector", "Fire"},
        {"4", 4, "water", std::nullopt},
        {"4", 4, "Tower", "Tech"},
        {"1", 1, "123", "B"},
        {"1", 1, "13", "A"},
        {"1", 1, "x=y", "Eq"},  // the patterns follow the first "="
        {"3,4", 4, "fire", "Fire"},
        {"16", 15, "fire", std::nullopt},
        {"-1", 0, "fire", std::nullopt},
        {"x", 0, "fire", "Fire"},
        {",4", 4, "fire", std::nullopt},
        {"3.6", 4, "fire", "Fire"},
        {"2", 2, "", "Other", "Classes"},           // a catch-all first is a default
        {"2", 2, "Fire alarm", "Fire", "Classes"},  // that a later match replaces
        {"0", 0, "fire", " Fire Alarm ", "L"},      // the key keeps its blanks and case
        {"4", 4, "r\xf6kdetektor", "Smoke", "Detectors", "classes.ini"},
        {"4", 4, "fire", std::nullopt, "Lookup", "missing.ini"},
        {"4", 4, "fire", std::nullopt, "Absent"},
    };
    for (const Row& row : rows) {
        m_Records = {};
        m_Records[static_cast<size_t>(row.record)] = row.text;
        EXPECT_EQ(FindMatchingKey(m_Ini, row.list, row.file, row.section, m_Records), row.expected)
            << row.list << " / " << row.text << " in " << row.section;
    }
}

TEST_F(FindMatchingKeyTest, OnlyEntriesWithinTheBufferTakePart) {
    // Entries beyond 10240 characters are not placed, so they never match.
    std::string section = "[Big]\n";
    for (int i = 0; i < 800; ++i) {
        section += "Filler" + std::to_string(i) + "=NOTHING*\n";
    }
    section += "Late=*\n";
    m_Ini.Write("Tellwick.ini", section);
    EXPECT_EQ(FindMatchingKey(m_Ini, "0", "", "Big", m_Records), std::nullopt);
}

}  // namespace
}  // namespace tw
