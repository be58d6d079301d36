#include "alarmline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw::tools {
namespace {

TEST(AlarmLine, LinesDecodeToKindStateAndFields) {
    struct Row {
        std::string m_Line;
        LineKind m_Kind;
        int m_State;
        std::array<std::string, 6> m_Fields;
        bool m_Extra;
    };
    const Row rows[] = {
        {"1|||Ward 3||ESPA||Room 12|",
         LineKind::Alarm,
         1,
         {"Ward 3", "", "ESPA", "", "Room 12", ""},
         false},
        {"1||||||||", LineKind::Alarm, 1, {}, false},
        {"0|||W||Poll||restored|x",
         LineKind::Alarm,
         0,
         {"W", "", "Poll", "", "restored", "x"},
         false},
        {"1|||a|b|c|d|e|f|g", LineKind::Alarm, 1, {"a", "b", "c", "d", "e", "f|g"}, true},
        {"1|||TellwickWD", LineKind::Watchdog, 1, {"TellwickWD"}, false},
        {"", LineKind::Empty, -1, {}, false},
        {"garbage", LineKind::Other, -1, {}, false},
        {"1|||a|b", LineKind::Other, -1, {}, false},
        {"01|||a|b|c|d|e|f", LineKind::Other, -1, {}, false},
        {"x|||a|b|c|d|e|f", LineKind::Other, -1, {}, false},
    };
    for (const Row& row : rows) {
        AlarmLine line = ParseAlarmLine(row.m_Line);
        EXPECT_EQ(line.m_Kind, row.m_Kind) << row.m_Line;
        EXPECT_EQ(line.m_State, row.m_State) << row.m_Line;
        EXPECT_EQ(line.m_Fields, row.m_Fields) << row.m_Line;
        EXPECT_EQ(line.m_ExtraSeparators, row.m_Extra) << row.m_Line;
        EXPECT_EQ(line.m_Raw, row.m_Line);
    }
}

std::vector<LineKind> Kinds(const std::vector<AlarmLine>& lines) {
    std::vector<LineKind> kinds;
    kinds.reserve(lines.size());
    for (const AlarmLine& line : lines) {
        kinds.push_back(line.m_Kind);
    }
    return kinds;
}

TEST(AlarmLineReader, EmptyLineAfterWatchdogBelongsToItOthersArePassedOn) {
    const std::string stream = "1|||WD\n\n1|||A||C||E|\n\n1|||WD\n1|||A||C||E|\n";
    const std::vector<LineKind> expected = {LineKind::Watchdog, LineKind::Alarm, LineKind::Empty,
                                            LineKind::Watchdog, LineKind::Alarm};
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        AlarmLineReader reader;
        std::vector<AlarmLine> lines = reader.Feed(stream.substr(0, split));
        for (AlarmLine& line : reader.Feed(stream.substr(split))) {
            lines.push_back(std::move(line));
        }
        EXPECT_EQ(Kinds(lines), expected) << "split at " << split;
    }
}

TEST(AlarmLineReader, PartialLineWaitsAndResetForgetsIt) {
    AlarmLineReader reader;
    EXPECT_TRUE(reader.Feed("1|||WD").empty());
    reader.Reset();
    std::vector<AlarmLine> lines = reader.Feed("\n");
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0].m_Kind, LineKind::Empty);
}

TEST(AlarmLineReader, OverlongLineIsCutSoTheBufferStaysBounded) {
    AlarmLineReader reader;
    std::vector<AlarmLine> lines =
        reader.Feed(std::string(AlarmLineReader::MaxLineLength + 10, 'x'));
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0].m_Raw.size(), AlarmLineReader::MaxLineLength);
    lines = reader.Feed("\n");
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0].m_Raw, std::string(10, 'x'));
}

}  // namespace
}  // namespace tw::tools
