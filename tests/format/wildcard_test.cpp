#include "format/wildcard.h"

#include <gtest/gtest.h>

#include "support/fakesettings.h"

namespace tw {
namespace {

using test::FakeSettings;

TEST(MatchWildcardTest, MatchesByTheStarAndQuestionRules) {
    struct Row {
        const char* text;
        const char* pattern;
        bool expected;
    };
    const Row rows[] = {
        {"ABC", "*", true},
        {"", "*", true},
        {"", "A*", false},
        {"A", "", false},
        {"ABC", "A*", true},
        {"ABC", "ABC", true},
        {"ABCD", "ABC", false},
        {"BAC", "*A*", true},
        {"XAB", "*AB", true},
        {"XABAB", "*AB", false},
        {"ABC", "A?C", true},
        {"AC", "A?C", false},
        {"A", "*?", true},
        {"AB", "*?", false},
        {"abc", "ABC", false},
        {"SMOKE DETECTOR", "SMOKE*", true},
        {"ROOM 12", "ROOM ??", true},
        {"ROOM 1", "ROOM ??", false},
        {"AXBXC", "A*B*C", true},
        {"ABC", "**", true},
        {"ABC", "*B?", true},
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

TEST(TextAfterTest, GivesTextAfterFirstDelimiterOrNothing) {
    EXPECT_EQ(TextAfter("Fire=F*,SMOKE*", '='), "F*,SMOKE*");
    EXPECT_EQ(TextAfter("a=b=c", '='), "b=c");
    EXPECT_EQ(TextAfter("Fire", '='), "");
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
                "; comment=*\r\nA=1*\r\nB=12*\r\nNoEquals\r\n"
                "[Other]\r\nX=*\r\n");
    struct Row {
        const char* list;
        int record;
        const char* text;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        {"4", 4, "smoke detector", "Fire"},
        {"4", 4, "water", std::nullopt},
        {"4", 4, "Tower", "Tech"},
        {"1", 1, "123", "B"},
        {"1", 1, "13", "A"},
        {"3,4", 4, "fire", "Fire"},
        {"16", 15, "fire", std::nullopt},
        {"-1", 0, "fire", std::nullopt},
        {"x", 0, "fire", "Fire"},
        {",4", 4, "fire", std::nullopt},
        {"3.6", 4, "fire", "Fire"},
    };
    for (const Row& row : rows) {
        m_Records = {};
        m_Records[static_cast<size_t>(row.record)] = row.text;
        EXPECT_EQ(FindMatchingKey(m_Ini, row.list, "", "lookup", m_Records), row.expected)
            << row.list << " / " << row.text;
    }
}

TEST_F(FindMatchingKeyTest, CatchAllFirstIsADefaultThatLaterMatchesReplace) {
    m_Ini.Write("Tellwick.ini", "[Classes]\nOther=*\nFire=*FIRE*\n");
    EXPECT_EQ(FindMatchingKey(m_Ini, "2", "", "Classes", m_Records), "Other");
    m_Records[2] = "Fire alarm";
    EXPECT_EQ(FindMatchingKey(m_Ini, "2", "", "Classes", m_Records), "Fire");
}

TEST_F(FindMatchingKeyTest, KeyKeepsItsBlanksAndCase) {
    m_Ini.Write("Tellwick.ini", "[L]\n Fire Alarm =f*\n");
    m_Records[0] = "fire";
    EXPECT_EQ(FindMatchingKey(m_Ini, "0", "", "L", m_Records), " Fire Alarm ");
}

TEST_F(FindMatchingKeyTest, ReadsTheNamedFile) {
    m_Ini.Write("classes.ini", "[Detectors]\nSmoke=*R\xd6K*\n");
    m_Records[4] = "r\xf6kdetektor";
    EXPECT_EQ(FindMatchingKey(m_Ini, "4", "classes.ini", "Detectors", m_Records), "Smoke");
}

TEST_F(FindMatchingKeyTest, MissingFileOrSectionGivesNoMatch) {
    m_Ini.Write("Tellwick.ini", "[Lookup]\nAll=*\n");
    EXPECT_EQ(FindMatchingKey(m_Ini, "1", "missing.ini", "Lookup", m_Records), std::nullopt);
    EXPECT_EQ(FindMatchingKey(m_Ini, "1", "", "Absent", m_Records), std::nullopt);
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
