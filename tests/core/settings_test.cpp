#include "core/settings.h"

#include <gtest/gtest.h>

#include "support/fakesettings.h"

namespace tw {
namespace {

using test::FakeSettings;

TEST(GeneralSettingsTest, ConvertsSecondsAndFlags) {
    FakeSettings folder;
    folder.Write("Tellwick.ini",
                 "[General]\n"
                 "ReconnectInterval=30 ; every half minute\n"
                 "ESPATimeout=2.5\n"
                 "WatchDogTagName=\"GW1 Watchdog\"\n"
                 "BufferIfZorvanNotConnected=yes\n"
                 "UseFormatSection=-1\n"
                 "ZorvanConnectionMethod=1.5\n"
                 "ZorvanPort=14001\n");
    std::vector<ConfigProblem> problems;
    const GeneralSettings g = LoadGeneralSettings(folder, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(g.ReconnectInterval, 30000);
    EXPECT_EQ(g.ESPATimeout, 2500);
    EXPECT_EQ(g.WatchDogTagName, "GW1 Watchdog");
    EXPECT_FALSE(g.BufferIfZorvanNotConnected);
    EXPECT_TRUE(g.UseFormatSection);
    EXPECT_EQ(g.ZorvanConnectionMethod, 2);
    EXPECT_EQ(g.ZorvanPort, 14001);
}

TEST(GeneralSettingsTest, ReportsValuesThatOverflow) {
    FakeSettings folder;
    folder.Write("Tellwick.ini",
                 "[General]\n"
                 "ReconnectInterval=2147484\n"
                 "ZorvanConnectionMethod=40000\n"
                 "ZorvanPort=1e20\n");
    std::vector<ConfigProblem> problems;
    const GeneralSettings g = LoadGeneralSettings(folder, problems);
    ASSERT_EQ(problems.size(), 3U);
    EXPECT_EQ(problems[0].Key, "ReconnectInterval");
    EXPECT_EQ(problems[1].Key, "ZorvanConnectionMethod");
    EXPECT_EQ(problems[2].Key, "ZorvanPort");
    EXPECT_EQ(problems[0].Describe(),
              "Configuration error in section General, key ReconnectInterval = \"2147484\": does "
              "not fit in 32 bits as milliseconds (at most 2147483 seconds)");
    EXPECT_EQ(g.ReconnectInterval, 30000);
}

TEST(PortSettingsTest, DecidesThePortKind) {
    struct Row {
        const char* section;
        int16_t kind;
    };
    const Row rows[] = {
        {"PortType= tcps \nListenPort=4001\n", PortKindTcpServer},
        {"PortType=TCPS\nListenPort=65535\n", PortKindTcpServer},
        {"PortType=TCPS\nListenPort=0\n", PortKindNone},
        {"PortType=TCPS\nListenPort=-1\n", PortKindNone},
        {"PortType=TCPS\nListenPort=65536\n", PortKindNone},
        {"PortType=TCPS\nListenPort=0.5\n", PortKindNone},
        {"PortType=TCPC\nRemoteAddress=10.0.0.5:4001\n", PortKindTcpClient},
        {"PortType=TCPC\n", PortKindNone},
        {"PortType=TCPC\nRemoteAddress=host:70000\n", PortKindNone},
        {"PortType=TCPC\nRemoteAddress=host\n", PortKindTcpClient},
        {"PortType=Com\nComSetting=COM1\n", PortKindCom},
        {"PortType=COM\n", PortKindNone},
        {"PortType=SERIAL\nComSetting=COM1\n", PortKindNone},
        {"PortType=TCPS\nListenPort=4001\nPollFailTimeout=9999999\n", PortKindNone},
        {"PortType=TCPS\nListenPort=4001\nPollFailRemindTime=3000000\n", PortKindNone},
    };
    for (const Row& row : rows) {
        FakeSettings folder;
        folder.Write("Tellwick.ini", std::string("[ESPA_Port_3]\n") + row.section);
        std::vector<ConfigProblem> problems;
        EXPECT_EQ(LoadPortSettings(folder, 3, problems).PortKind, row.kind) << row.section;
    }
}

TEST(PortSettingsTest, SplitsComSettingAndRemoteAddress) {
    const struct {
        const char* m_Section;
        int16_t m_ComPort;
        const char* m_Line;
        int16_t m_Handshaking;
        const char* m_Host;
        int32_t m_RemotePort;
    } rows[] = {
        {"PortType=COM\nComSetting=COM3,19200,E,7,2,2\n", 3, "19200,E,7,2", 2, "", 0},
        {"PortType=COM\nComSetting=COM3\n", 3, ",,,", 0, "", 0},
        {"PortType=COM\nComSetting=COM12,9600,N,8,1\n", 12, "9600,N,8,1", 0, "", 0},
        {"PortType=TCPC\nRemoteAddress=10.0.0.5:4001\n", 0, ",,,", 0, "10.0.0.5", 4001},
        {"PortType=TCPC\nRemoteAddress=pager.local\n", 0, ",,,", 0, "pager.local", 0},
    };
    for (const auto& row : rows) {
        FakeSettings folder;
        folder.Write("Tellwick.ini", std::string("[ESPA_Port_0]\n") + row.m_Section);
        std::vector<ConfigProblem> problems;
        const PortSettings p = LoadPortSettings(folder, 0, problems);
        EXPECT_TRUE(problems.empty()) << row.m_Section;
        EXPECT_EQ(p.ComPortNumber(), row.m_ComPort) << row.m_Section;
        EXPECT_EQ(p.ComLineSettings(), row.m_Line) << row.m_Section;
        EXPECT_EQ(p.ComHandshaking(), row.m_Handshaking) << row.m_Section;
        EXPECT_EQ(p.RemoteHost(), row.m_Host) << row.m_Section;
        EXPECT_EQ(p.RemotePortNumber(), row.m_RemotePort) << row.m_Section;
    }
}

TEST(PortSettingsTest, ReadsTheOtherKeys) {
    FakeSettings folder;
    folder.Write("Tellwick.ini",
                 "[espa_port_7]\nDescription=Ward 3\nSendPaged=-1\nSendInQueue=2\n"
                 "SendTerminated=true\nPollFailTimeout=60\nPollFailRemindTime=600.5\n"
                 "PollFailedCategory=Tech\nDOSASCII2ISOLatin1=1\n");
    std::vector<ConfigProblem> problems;
    const PortSettings p = LoadPortSettings(folder, 7, problems);
    EXPECT_EQ(p.Description, "Ward 3");
    EXPECT_TRUE(p.SendPaged);
    EXPECT_TRUE(p.SendInQueue);
    EXPECT_FALSE(p.SendTerminated);
    EXPECT_EQ(p.PollFailTimeout, 60000);
    EXPECT_EQ(p.PollFailRemindTime, 600);
    EXPECT_EQ(p.PollFailedCategory, "Tech");
    EXPECT_TRUE(p.DOSASCII2ISOLatin1);
    EXPECT_FALSE(p.Swedish7BitASCII2ISOLatin1);
}

TEST(AccessSettingsTest, ReadsAllowedHostsAndListenAddresses) {
    FakeSettings folder;
    folder.Write("Tellwick.ini",
                 "[General]\nZorvanAllowedHosts= 127.0.0.1 , ::1\nZorvanListenAddress= 127.0.0.1\n"
                 "[ESPA_Port_1]\nPortType=TCPS\nListenPort=4001\n"
                 "AllowedHosts=10.0.0.0/8\nListenAddress=::1\n");
    std::vector<ConfigProblem> problems;
    const GeneralSettings g = LoadGeneralSettings(folder, problems);
    const PortSettings p = LoadPortSettings(folder, 1, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(IsHostAllowed(g.ZorvanAllowedHosts, "::1"));
    EXPECT_FALSE(IsHostAllowed(g.ZorvanAllowedHosts, "10.0.0.1"));
    EXPECT_EQ(g.ZorvanListenAddress, "127.0.0.1");
    EXPECT_EQ(p.PortKind, PortKindTcpServer);
    EXPECT_TRUE(IsHostAllowed(p.AllowedHosts, "10.1.1.1"));
    EXPECT_FALSE(IsHostAllowed(p.AllowedHosts, "192.168.1.1"));
    EXPECT_EQ(p.ListenAddress, "::1");
    EXPECT_FALSE(LoadPortSettings(folder, 2, problems).AllowedHosts.IsActive());
}

TEST(AccessSettingsTest, AnInvalidEntryIsOneProblemAndDisablesThePort) {
    FakeSettings folder;
    folder.Write("Tellwick.ini",
                 "[General]\nZorvanAllowedHosts=10.0.0.1, gateway\nZorvanListenAddress=localhost\n"
                 "[ESPA_Port_1]\nPortType=TCPS\nListenPort=4001\nAllowedHosts=10.0.0.0/40\n"
                 "[ESPA_Port_2]\nPortType=TCPS\nListenPort=4002\nListenAddress=10.0.0.300\n");
    std::vector<ConfigProblem> problems;
    const GeneralSettings g = LoadGeneralSettings(folder, problems);
    EXPECT_EQ(LoadPortSettings(folder, 1, problems).PortKind, PortKindNone);
    EXPECT_EQ(LoadPortSettings(folder, 2, problems).PortKind, PortKindNone);
    ASSERT_EQ(problems.size(), 4U);
    EXPECT_EQ(problems[0].Describe(),
              "Configuration error in section General, key ZorvanAllowedHosts = \"10.0.0.1, "
              "gateway\": entry \"gateway\" is no IPv4/IPv6 address or CIDR range");
    EXPECT_EQ(problems[1].Describe(),
              "Configuration error in section General, key ZorvanListenAddress = \"localhost\": "
              "is no IPv4/IPv6 address");
    EXPECT_EQ(problems[2].Section, "ESPA_Port_1");
    EXPECT_EQ(problems[2].Key, "AllowedHosts");
    EXPECT_EQ(problems[3].Key, "ListenAddress");
    EXPECT_FALSE(g.ZorvanAllowedHosts.IsActive());
}

TEST(StatusSettingsTest, ReadsTheStatusKeysAndReportsWhatCannotBeUsed) {
    const struct {
        const char* Lines;
        int32_t Port;
        const char* Address;
        bool Filtered;
        const char* BadKey;  // nullptr: no problem
    } rows[] = {
        {"", 0, "127.0.0.1", false, nullptr},
        {"StatusPort=8080\nStatusListenAddress=\nStatusAllowedHosts=10.0.0.0/8\n", 8080,
         "127.0.0.1", true, nullptr},
        {"StatusPort=8080\nStatusListenAddress= ::\n", 8080, "::", false, nullptr},
        {"StatusPort=70000\n", 0, "127.0.0.1", false, "StatusPort"},
        {"StatusPort=-1\n", 0, "127.0.0.1", false, "StatusPort"},
        {"StatusListenAddress=localhost\n", 0, "127.0.0.1", false, "StatusListenAddress"},
        {"StatusAllowedHosts=10.0.0.1, status-pc\n", 0, "127.0.0.1", false, "StatusAllowedHosts"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Lines);
        FakeSettings folder;
        folder.Write("Tellwick.ini", std::string("[General]\n") + row.Lines);
        std::vector<ConfigProblem> problems;
        const GeneralSettings g = LoadGeneralSettings(folder, problems);
        EXPECT_EQ(g.StatusPort, row.Port);
        EXPECT_EQ(g.StatusListenAddress, row.Address);
        ASSERT_EQ(problems.size(), row.BadKey ? 1U : 0U);
        if (row.BadKey) {
            EXPECT_EQ(problems[0].Key, row.BadKey);
        }
        EXPECT_EQ(g.StatusAllowedHosts.IsActive(), row.Filtered);
    }
}

}  // namespace
}  // namespace tw
