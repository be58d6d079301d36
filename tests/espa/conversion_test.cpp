#include "espa/conversion.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

struct Row {
    std::string text;
    std::string expected;
};

TEST(ConversionTest, Swedish7BitGivesTheSwedishLetters) {
    const Row rows[] = {
        {"[ ] \\", "\xc4 \xc5 \xd6"},
        {"{}|", "\xe4\xe5\xf6"},
        {"@^`~", "@^`~"},  // the other national positions stay
        {"\x8e", "\x8e"},
        {"", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Swedish7BitToLatin1(row.text), row.expected) << row.text;
    }
}

TEST(ConversionTest, DosGivesTheSeventeenLatin1Letters) {
    const Row rows[] = {
        {"\x8e\x99\x9a", "\xc4\xd6\xdc"},
        {"\xec\x9b", "\xf8\xf8"},
        {"\xed\x9d", "\xd8\xd8"},
        {"\x82\x84\x86\x8f\x90\x91\x92\x94\xf8\xfc", "\xe9\xe4\xe5\xc5\xc9\xe6\xc6\xf6\xb0\xb3"},
        {"\xc4\x81\x87[", "\xc4\x81\x87["},  // Latin-1 already, or not in the table
        {"", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(DOSToLatin1(row.text), row.expected) << row.text;
    }
}

TEST(ConversionTest, BothConversionsConvertEachCharacterOnce) {
    EXPECT_EQ(DOSToLatin1(Swedish7BitToLatin1("\x5b\x8e")), "\xc4\xc4");
    for (int code = 0; code < 256; ++code) {
        const std::string one(1, static_cast<char>(code));
        const std::string swedish = Swedish7BitToLatin1(one);
        if (swedish != one) {
            EXPECT_EQ(DOSToLatin1(swedish), swedish) << code;
        }
    }
}

}  // namespace
}  // namespace tw
