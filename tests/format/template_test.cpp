#include "format/template.h"

#include <gtest/gtest.h>

#include "support/fakesettings.h"

namespace tw {
namespace {

using test::FakeSettings;

struct Row {
    const char* formatTemplate;
    std::vector<std::pair<int, std::string>> records;
    std::string expected;
};

class ExpandFormatTemplateTest : public ::testing::Test {
  protected:
    std::string Expand(const std::string& formatTemplate, const RecordTable& records,
                       const std::string& datePattern = "Short Date",
                       const std::string& timePattern = "Long Time") const {
        return ExpandFormatTemplate(
            formatTemplate, {records, m_Description, datePattern, timePattern, m_Now, m_Ini});
    }
    void Check(const std::vector<Row>& rows) const {
        for (const Row& row : rows) {
            RecordTable records;
            for (const auto& [index, text] : row.records) {
                records[static_cast<size_t>(index)] = text;
            }
            EXPECT_EQ(Expand(row.formatTemplate, records), row.expected) << row.formatTemplate;
        }
    }

    mutable FakeSettings m_Ini;
    const std::string m_Description = "Ward 3";
    LocalTime m_Now = MakeLocalTime(2019, 5, 27, 14, 31, 5);
};

TEST_F(ExpandFormatTemplateTest, ValueTagsAndOptions) {
    Check({
        {"Call [F1]: [F2]", {{1, "1234"}, {2, "Room 12"}}, "Call 1234: Room 12"},
        {"[F2:0-3]", {{2, "Room 12"}}, "Room"},
        {"[F2:5]", {{2, "Room 12"}}, "1"},
        {"[F2:-5]", {{2, "Room 12"}}, "Room 1"},
        {"[F2:4-2]", {{2, "Room 12"}}, " "},
        {"[F2:20]", {{2, "Room 12"}}, ""},
        {"[F2:5-99]", {{2, "Room 12"}}, "12"},
        {"[F2::10]", {{2, "Room 12"}}, "Room 12   "},
        {"[F2::0]", {{2, "Room 12"}}, ""},
        {"[F2::-3]", {{2, "Room 12"}}, "Room 12"},
        {"[F2:0-3:2]", {{2, "Room 12"}}, "Ro"},
        {"[F2:]", {{2, "Room 12"}}, "Room 12"},
        {"[FOO]", {{0, "7"}}, "7"},
        {"[f15]", {{15, "last"}}, "last"},
        {"[PORTDESCRIPTION]", {}, "Ward 3"},
        {"[portdescription:0-3:6]", {}, "Ward  "},
        {"[65]", {}, "A"},
        {"[ 65.4 ]", {}, "A"},
        {"[13]", {}, "\r"},
        {"[255]", {}, "\xff"},
    });
}

TEST_F(ExpandFormatTemplateTest, TagsWithoutValueStayAsWritten) {
    Check({
        {"[0], [256], [XYZ], [F99]", {}, "[0], [256], [XYZ], [F99]"},
        {"[F-1][F16][]", {}, "[F-1][F16][]"},
        {"[65:1]", {}, "[65:1]"},
        {"a[b", {}, "a[b"},
        {"a]b", {}, "a]b"},
        {"[a[F2]", {{2, "Room 12"}}, "[aRoom 12"},
        {"[[F2]]", {{2, "x"}}, "[x]"},
    });
}

TEST_F(ExpandFormatTemplateTest, PendingEditsApplyToNextValueOnly) {
    Check({
        {"[CF:/][F2]", {{2, "Room 12/Bed 3"}}, "Room 12"},
        {"[CU:/][F2]", {{2, "Room 12/Bed 3"}}, "Bed 3"},
        {"[CU:/:1][F2]", {{2, "Room 12/Bed 3"}}, "ed 3"},
        {"[CF:/:2][F2]", {{2, "Room 12/Bed 3"}}, "Room 12/B"},
        {"[CF:r:-5][F2]", {{2, "Room 12"}}, ""},
        {"[CU:r:-2][F2]", {{2, "Room 12"}}, "Room 12"},
        {"[CUTUNTIL:bed][F2]", {{2, "Room 12/Bed 3"}}, " 3"},
        {"[CUTFROM:x][F2]", {{2, "Room 12"}}, "Room 12"},
        {"[R:A:X][F2]", {{2, "Banana"}}, "BXnXnX"},
        {"[R:a:aa][F2]", {{2, "aaa"}}, "aaaaaa"},
        {"[R:a:A][F2]", {{2, "aaa"}}, "aaa"},
        {"[REPLACE:\\X20:_][F2]", {{2, "Room 12"}}, "Room_12"},
        {"[R:\\x3a:-][F2]", {{2, "a:b"}}, "a-b"},
        {"[R:\\X2:_][F2]", {{2, "a\\X2b"}}, "a_b"},
        {"[R:\\XG1:_][F2]", {{2, "a\x01_"}}, "a__"},  // a digit that is no hex digit counts 0
        {"[R:A:X]text", {}, "text"},
        {"[R:A:X][F2] [F2]", {{2, "Banana"}}, "BXnXnX Banana"},
        {"[CU:/][R:BED:Bett][F2]", {{2, "Room 12/Bed 3"}}, "Bett 3"},
        {"[CF:/][F2:0-1]", {{2, "Room 12/Bed 3"}}, "Ro"},
        {"[R:X:Y][XYZ][F2]", {{2, "XX"}}, "[XYZ]YY"},
        {"[R:7:[65]][F2]", {{2, "7"}}, "[R:7:A]7"},
    });
}

TEST_F(ExpandFormatTemplateTest, InsertedTextIsNotScannedForTags) {
    Check({
        {"[F1][F2]", {{1, "[F2]"}, {2, "two"}}, "[F2]two"},
        {"[F1]", {{1, "[65]"}}, "[65]"},
    });
}

TEST_F(ExpandFormatTemplateTest, DateAndTimeTagsUseThePatterns) {
    RecordTable records;
    EXPECT_EQ(Expand("[date] [TIME]", records), "2019-05-27 14:31:05");
    EXPECT_EQ(
        Expand("[PCDATE]|[ALARMDATE]|[PCTIME:0-1]|[ALARMTIME::2]", records, "dd.mm.yy", "h:nn"),
        "27.05.19|27.05.19|14|14");
}

TEST_F(ExpandFormatTemplateTest, LookupTagGivesKeyOfMatchingLine) {
    m_Ini.Write("Tellwick.ini", "[Lookup]\r\nFire=F*,SMOKE*\r\nTech=T*\r\n");
    m_Ini.Write("other.ini", "[Colours]\r\nRed=*FIRE*\r\n");
    Check({
        {"[RFFC:4::Lookup]", {{4, "smoke detector"}}, "Fire"},
        {"[RFFC:4::Lookup]", {{4, "water"}}, "[RFFC:4::Lookup]"},
        {"[RFFC:4:other.ini:Colours]", {{4, "fire"}}, "Red"},
        {"[R:e:3][RFFC:4::Lookup]", {{4, "fire"}}, "Fir3"},
        {"[R:e:3][RFFC:4::Lookup][F4]", {{4, "water"}}, "[RFFC:4::Lookup]wat3r"},
        {"[RFFC:4:missing.ini:Lookup]", {{4, "fire"}}, "[RFFC:4:missing.ini:Lookup]"},
    });
}

TEST_F(ExpandFormatTemplateTest, NumbersBeyondSixteenBitsSaturate) {
    RecordTable records;
    records[2] = "Room 12";
    EXPECT_EQ(Expand("[F2:99999999999]", records), "");
    EXPECT_EQ(Expand("[F2::1e300]", records).size(), 32767U);
    EXPECT_EQ(Expand("[F2::-1e300]", records), "Room 12");
    EXPECT_EQ(Expand("[CU:R:-99999999][F2]", records), "Room 12");
    EXPECT_EQ(Expand("[CF:2:99999999][F2]", records), "Room 12");
    EXPECT_EQ(Expand("[F99999999999]", records), "[F99999999999]");
}

TEST_F(ExpandFormatTemplateTest, ResultNeverPassesItsLimit) {
    RecordTable records;
    records[1] = std::string(32767, 'a');
    std::string formatTemplate = "[R:A:" + std::string(1000, 'b') + "][F1]";
    for (int i = 0; i < 100; ++i) {
        formatTemplate += "[F1::32767]";
    }
    EXPECT_EQ(Expand(formatTemplate, records).size(), kMaxExpandedLength);
}

}  // namespace
}  // namespace tw
