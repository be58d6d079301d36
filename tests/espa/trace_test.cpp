#include "espa/trace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "support/gatewayfixture.h"
#include "wire.h"

namespace tw {
namespace {

class TraceTest : public ::testing::Test, public test::GatewayFixture {
  protected:
    TraceTest() { SetTime(MakeLocalTime(2019, 5, 27, 14, 3, 27)); }
};

TEST_F(TraceTest, RendersControlCharactersByName) {
    WriteCommTrace(m_Gateway, 2, test::Wire("<SOH>1<STX>1<US>123<RS><ETX>0"), TraceReceive);
    WriteCommTrace(m_Gateway, 0, "\x06", TraceTransmit);
    WriteCommTrace(m_Gateway, -1, "1|||Tag\n", TraceTransmit);
    WriteCommTrace(m_Gateway, 1, std::string("\x00\x7f\x80\xff\x09\x15\x1b\x0d", 8), TraceReceive);
    EXPECT_EQ(m_View.m_Lines, (std::vector<std::string>{
                                  "14:03:27 Rx <- 2: <SOH>1<STX>1<US>123<RS><ETX>0",
                                  "14:03:27 Tx -> 0: <ACK>",
                                  "14:03:27 Tx -> Zorvan: 1|||Tag<LF>",
                                  "14:03:27 Rx <- 1: <0>\x7f<128><255><9><NAK><ESC><CR>",
                              }));
}

TEST_F(TraceTest, SplitsLongRenderingsForTheDebugWindowButNotForTheFile) {
    m_Ini.Write("Tellwick.ini", "[General]\nCommDebug=1\n");
    WriteCommTrace(m_Gateway, 0, std::string(100, '\t'), TraceReceive);
    std::string first;
    for (int i = 0; i < 61; ++i) {
        first += "<9>";
    }
    std::string rest;
    for (int i = 0; i < 39; ++i) {
        rest += "<9>";
    }
    EXPECT_EQ(m_View.m_Lines, (std::vector<std::string>{"14:03:27 Rx <- 0: " + first,
                                                        "14:03:27 Rx <- 0: " + rest}));
    EXPECT_EQ(m_Folder.Read("LogFiles/CommDebug.Log"),
              "14:03:27 Rx <- 0: " + first + rest + "\r\n");
}

TEST_F(TraceTest, WritesTheFileOnlyWhileCommDebugIsOn) {
    struct Row {
        const char* ini;
        bool written;
    };
    const Row rows[] = {
        {"", false},
        {"[General]\nCommDebug=0\n", false},
        {"[General]\nCommDebug=yes\n", false},
        {"[General]\nCommDebug=1\n", true},
    };
    for (const Row& row : rows) {
        m_Ini.Write("Tellwick.ini", row.ini);
        std::filesystem::remove(m_Folder.Path() + "LogFiles/CommDebug.Log");
        WriteCommTrace(m_Gateway, 3, "", TraceTransmit);
        EXPECT_EQ(m_Folder.Read("LogFiles/CommDebug.Log"),
                  row.written ? "14:03:27 Tx -> 3: \r\n" : "")
            << row.ini;
    }
    EXPECT_TRUE(m_View.m_Lines.empty());
}

TEST_F(TraceTest, WithTheDebugWindowClosedOnlyTheFileGetsTheLine) {
    m_View.m_Open = false;
    for (const char* ini : {"[General]\nCommDebug=0\n", "[General]\nCommDebug=1\n"}) {
        m_Ini.Write("Tellwick.ini", ini);
        WriteCommTrace(m_Gateway, 0, "\x06", TraceTransmit);
    }
    EXPECT_EQ(m_Folder.Read("LogFiles/CommDebug.Log"), "14:03:27 Tx -> 0: <ACK>\r\n");
    EXPECT_TRUE(m_View.m_Lines.empty());
}

}  // namespace
}  // namespace tw
