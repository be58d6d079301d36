#include <gtest/gtest.h>

#include <string>

#include "latency.h"
#include "net.h"
#include "textout.h"

namespace tw::tools {
namespace {

TEST(LatencyStats, PercentilesAreNearestRank) {
    LatencyStats stats;
    EXPECT_EQ(stats.PercentileMicros(50), 0.0);
    for (int k = 100; k >= 1; --k) {
        stats.Add(std::chrono::microseconds(k));
    }
    EXPECT_EQ(stats.PercentileMicros(50), 50.0);
    EXPECT_EQ(stats.PercentileMicros(99), 99.0);
    EXPECT_EQ(stats.PercentileMicros(0), 1.0);
    EXPECT_EQ(stats.MaxMicros(), 100.0);
    stats.Add(std::chrono::microseconds(1000));
    EXPECT_EQ(stats.MaxMicros(), 1000.0);
    EXPECT_EQ(stats.Count(), 101U);
}

TEST(TextOut, Latin1AndUtf8ConvertBothWays) {
    EXPECT_EQ(Latin1ToUtf8("\xC4rzte \xFF"), "\xC3\x84rzte \xC3\xBF");
    EXPECT_EQ(Utf8ToLatin1("\xC3\x84rzte \xC3\xBF"), "\xC4rzte \xFF");
    EXPECT_EQ(Utf8ToLatin1("\xE2\x82\xAC 5"), "? 5");     // the euro sign has no Latin-1 code
    EXPECT_EQ(Utf8ToLatin1("\xC4 alone"), "\xC4 alone");  // already Latin-1: kept
}

TEST(TextOut, TerminalAndJsonTextEscapeControlCharacters) {
    EXPECT_EQ(ForTerminal("A\x01\xC4", true), "A\\x01\xC3\x84");
    EXPECT_EQ(ForTerminal("A\x01\xC4", false), "A\\x01\xC4");
    EXPECT_EQ(JsonString("a\"b\\c\n\x1f\xE9"), "\"a\\\"b\\\\c\\n\\u001f\xC3\xA9\"");
    EXPECT_EQ(JsonLine().Add("a", "x").Add("n", 3).Add("ok", true).Text(),
              "{\"a\":\"x\",\"n\":3,\"ok\":true}");
}

TEST(Net, EndpointsAndSerialSettingsParse) {
    std::optional<Endpoint> endpoint = ParseEndpoint("gw.local:4001", "127.0.0.1");
    ASSERT_TRUE(endpoint);
    EXPECT_EQ(ToText(*endpoint), "gw.local:4001");
    EXPECT_EQ(ToText(*ParseEndpoint("4002", "0.0.0.0")), "0.0.0.0:4002");
    EXPECT_EQ(ToText(*ParseEndpoint("[::1]:7", "x")), "::1:7");
    for (const char* bad : {"host:", "host:65536", "host:-1", ":80", "x"}) {
        EXPECT_FALSE(ParseEndpoint(bad, "127.0.0.1")) << bad;
    }
    std::optional<SerialSettings> serial = ParseSerialSettings("19200,e,7,2");
    ASSERT_TRUE(serial);
    EXPECT_EQ(serial->m_Baud, 19200);
    EXPECT_EQ(serial->m_Parity, 'E');
    EXPECT_EQ(serial->m_DataBits, 7);
    EXPECT_EQ(serial->m_StopBits, 2);
    for (const char* bad : {"9600,N,8", "9600,X,8,1", "9600,N,9,1", "9600,N,8,1,", "fast,N,8,1"}) {
        EXPECT_FALSE(ParseSerialSettings(bad)) << bad;
    }
}

}  // namespace
}  // namespace tw::tools
