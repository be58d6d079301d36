#include "espa/conversion.h"

#include <gtest/gtest.h>

#include "wire.h"

namespace tw {
namespace {

using test::Wire;

struct Row {
    const char* text;
    const char* expected;
};

TEST(ConversionTest, Swedish7BitGivesTheSwedishLetters) {
    const Row rows[] = {
        {"[ ] \\", "<196> <197> <214>"},
        {"{}|", "<228><229><246>"},
        {"@^`~", "@^`~"},  // the other national positions stay
        {"<142>", "<142>"},
        {"", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Swedish7BitToLatin1(Wire(row.text)), Wire(row.expected)) << row.text;
    }
}

TEST(ConversionTest, DosGivesTheSeventeenLatin1Letters) {
    const Row rows[] = {
        {"<142><153><154>", "<196><214><220>"},
        {"<236><155>", "<248><248>"},
        {"<237><157>", "<216><216>"},
        {"<130><132><134><143><144><145><146><148><248><252>",
         "<233><228><229><197><201><230><198><246><176><179>"},
        // Latin-1 already (also every letter the 7-bit conversion gives, so the
        // two convert a character once), or not in the table.
        {"<196><197><214><228><229><246><129><135>[", "<196><197><214><228><229><246><129><135>["},
        {"", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(DOSToLatin1(Wire(row.text)), Wire(row.expected)) << row.text;
    }
}

}  // namespace
}  // namespace tw
