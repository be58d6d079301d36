#include "ui/debuginfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw {
namespace {

const std::string kHeading =
    "DEBUG INFO\r\n"
    "Saved from Tellwick for Zorvan Alarm Server Debug 19-05-27 10:31:05\r\n" +
    std::string(100, '-') + "\r\n";
const std::string kFooter = std::string(80, '-') + "\r\n";

TEST(DebugInfo, BlockHoldsHeadingNumberedLinesAndFooter) {
    const struct {
        std::vector<std::string> Lines;
        std::string Body;
    } rows[] = {
        {{}, ""},
        {{"10:31:04 Rx <- 0: 1<ENQ>"}, "000 10:31:04 Rx <- 0: 1<ENQ>\r\n"},
        {{"a", "", "b\xE4"}, "000 a\r\n001 \r\n002 b\xE4\r\n"},
    };
    for (const auto& row : rows) {
        std::string expected = kHeading;
        expected += row.Body;
        expected += kFooter;
        EXPECT_EQ(FormatDebugInfo(row.Lines, MakeLocalTime(2019, 5, 27, 10, 31, 5)), expected);
    }
}

TEST(DebugInfo, NumbersKeepThreeDigitsUpToTheLastOf500) {
    const std::vector<std::string> lines(500, "x");
    const std::string block = FormatDebugInfo(lines, MakeLocalTime(2019, 5, 27));
    EXPECT_NE(block.find("\r\n099 x\r\n100 x\r\n"), std::string::npos);
    EXPECT_NE(block.find("\r\n499 x\r\n" + kFooter), std::string::npos);
}

}  // namespace
}  // namespace tw
