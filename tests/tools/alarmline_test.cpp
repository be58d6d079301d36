#include "alarmline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw::tools {
namespace {

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

}  // namespace
}  // namespace tw::tools
