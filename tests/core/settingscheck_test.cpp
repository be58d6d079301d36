#include "core/settingscheck.h"

#include <gtest/gtest.h>

#include "support/fakesettings.h"

namespace tw {
namespace {

using test::FakeSettings;

SettingsCheck Check(const std::string& ini) {
    FakeSettings folder;
    folder.Write("Tellwick.ini", ini);
    return CheckSettings(folder);
}

TEST(SettingsCheckTest, EachProbableMistakeIsOneFinding) {
    const struct {
        const char* m_Ini;
        const char* m_Finding;  // Describe() of the only finding
    } rows[] = {
        {"[ESPA_Port_0]\nPortType=TCP\nListenPort=4001\n",
         "Configuration warning in section ESPA_Port_0, key PortType = \"TCP\": is none of TCPS, "
         "TCPC and COM, so the port is not used"},
        {"[ESPA_Port_1]\nPortType=TCPS\nListenPort=99999\n",
         "Configuration warning in section ESPA_Port_1, key ListenPort = \"99999\": is out of "
         "range 1 to 65535, so the port is not used"},
        {"[ESPA_Port_1]\nPortType=TCPS\nListenPort=4oo1\n",
         "Configuration warning in section ESPA_Port_1, key ListenPort = \"4oo1\": is read as 4, "
         "since a port number has digits only"},
        {"[ESPA_Port_1]\nPortType=TCPS\n",
         "Configuration warning in section ESPA_Port_1, key ListenPort = \"\": is missing, so the "
         "TCP server port is not used"},
        {"[General]\nZorvanPort=14000x\n",
         "Configuration warning in section General, key ZorvanPort = \"14000x\": is read as "
         "14000, since a port number has digits only"},
        {"[General]\nZorvanPort=4001\n[ESPA_Port_2]\nPortType=TCPS\nListenPort=4001\n",
         "Configuration warning in section ESPA_Port_2, key ListenPort = \"4001\": is the same "
         "TCP port as ZorvanPort, and only one of them can listen on it"},
        {"[ESPA_Port_0]\nPortType=TCPS\nListenPort=4001\n"
         "[ESPA_Port_3]\nPortType=TCPS\nListenPort=4001\nListenAddress=127.0.0.1\n",
         "Configuration warning in section ESPA_Port_3, key ListenPort = \"4001\": is the same "
         "TCP port as ESPA_Port_0, and only one of them can listen on it"},
        {"[ESPA Port 0]\nPortType=TCPS\nListenPort=4001\n",
         "Configuration warning in section ESPA Port 0: looks like a port section but is none "
         "(ESPA_Port_0 to ESPA_Port_7), so it is not read"},
        {"[ESPA_Port_8]\nPortType=TCPS\n",
         "Configuration warning in section ESPA_Port_8: looks like a port section but is none "
         "(ESPA_Port_0 to ESPA_Port_7), so it is not read"},
        {"[ESPA_Port_0]\nDescription=A\n[espa_port_0]\nPortType=TCPS\n",
         "Configuration warning in section espa_port_0: appears more than once; only the first "
         "one is read"},
        {"[ESPA_Port_4]\nPortType=TCPC\nRemoteAddress=10.0.0.5\n",
         "Configuration warning in section ESPA_Port_4, key RemoteAddress = \"10.0.0.5\": has no "
         "port number (host:port)"},
        {"[ESPA_Port_4]\nPortType=TCPC\nRemoteAddress=10.0.0.5:41OO\n",
         "Configuration warning in section ESPA_Port_4, key RemoteAddress = \"10.0.0.5:41OO\": "
         "port is read as 41, since a port number has digits only"},
        {"[ESPA_Port_5]\nPortType=COM\n",
         "Configuration warning in section ESPA_Port_5, key ComSetting = \"\": is missing, so the "
         "serial port is not used"},
        {"[ESPA_Port_5]\nPortType=COM\nComSetting=COM1\n"
         "[ESPA_Port_6]\nPortType=COM\nComSetting=COM2\nComDevice=/dev/ttyS0\n",
         "Configuration warning in section ESPA_Port_6, key ComSetting = \"COM2\": opens "
         "/dev/ttyS0 like ESPA_Port_5, and only one of them can"},
        {"[General]\nZorvanConnectionMethod=3\n",
         "Configuration warning in section General, key ZorvanConnectionMethod = \"3\": is none "
         "of 0, 1 and 2, so no alarm reaches the alarm server"},
    };
    for (const auto& row : rows) {
        const SettingsCheck check = Check(row.m_Ini);
        ASSERT_EQ(check.m_Findings.size(), 1U) << row.m_Ini;
        EXPECT_EQ(check.m_Findings[0].Describe(), row.m_Finding);
        EXPECT_TRUE(check.m_Problems.empty()) << row.m_Ini;
    }
}

TEST(SettingsCheckTest, ACleanFileTellsWhatEachPortWillDo) {
    const SettingsCheck check = Check(
        "[General]\nZorvanListenAddress=127.0.0.1\n"
        "[ESPA_Port_0]\nDescription=Ward 3\nPortType=TCPS\nListenPort=4001\n"
        "[ESPA_Port_1]\nPortType=TCPS\nListenPort=14000\nListenAddress=10.0.0.1\n"
        "[ESPA_Port_2]\nDescription=Fire panel\n;PortType=TCPC\nRemoteAddress=h:4100\n"
        "[ESPA_Port_3]\nPortType=TCPC\nRemoteAddress=10.0.0.5:4100\n"
        "[ESPA_Port_5]\nDescription=BMS\nPortType=COM\nComSetting=COM2,9600,N,8,1,0\n"
        "[ESPA_Port_6]\nPortType=COM\nComSetting=COM3\nComDevice=/dev/ttyUSB0\n");
    EXPECT_TRUE(check.m_Findings.empty()) << check.m_Findings[0].Describe();
    const std::vector<std::string> plan{
        "alarm server: TCP listener on 127.0.0.1:14000",
        "alarm buffer: in memory, lost at a stop",
        "port 0: TCP server on 0.0.0.0:4001, 'Ward 3'",
        "port 1: TCP server on 10.0.0.1:14000",
        "port 2: not in use, 'Fire panel'",
        "port 3: TCP client to 10.0.0.5:4100",
        "port 5: serial line COM2 on /dev/ttyS1 at 9600,N,8,1, 'BMS'",
        "port 6: serial line COM3 on /dev/ttyUSB0",
    };
    EXPECT_EQ(check.m_Plan, plan);
}

TEST(SettingsCheckTest, ValuesStartUpRefusesAreProblemsNotFindingsAndAMissingFileIsOne) {
    const SettingsCheck refused = Check("[ESPA_Port_0]\nPortType=TCPC\nRemoteAddress=h:70000\n");
    ASSERT_EQ(refused.m_Problems.size(), 1U);
    EXPECT_TRUE(refused.m_Findings.empty());

    FakeSettings empty;
    const SettingsCheck missing = CheckSettings(empty);
    ASSERT_EQ(missing.m_Findings.size(), 1U);
    EXPECT_EQ(missing.m_Findings[0].Describe(),
              "Configuration warning: Tellwick.ini is missing or cannot be read, so no ESPA port "
              "is used");
    EXPECT_EQ(missing.m_Plan,
              (std::vector<std::string>{"alarm server: TCP listener on 0.0.0.0:14000",
                                        "alarm buffer: in memory, lost at a stop"}));
}

TEST(SettingsCheckTest, TheBufferAndTheStatusPageAreNamedAsSetUp) {
    const struct {
        const char* m_General;
        std::vector<std::string> m_Plan;
    } rows[] = {
        {"BufferIfZorvanNotConnected=0\n",
         {"alarm buffer: off, an alarm that cannot be delivered is dropped"}},
        {"PersistAlarmBuffer=1\n",
         {"alarm buffer: kept in AlarmBuffer.journal, alarms older than 3600 s dropped at the "
          "start"}},
        {"PersistAlarmBuffer=1\nPersistedAlarmMaxAge=0\nStatusPort=8080\n",
         {"alarm buffer: kept in AlarmBuffer.journal, restored at any age",
          "status page: http://127.0.0.1:8080/"}},
        {"StatusPort=8080\nStatusListenAddress=::1\n",
         {"alarm buffer: in memory, lost at a stop", "status page: http://[::1]:8080/"}},
    };
    for (const auto& row : rows) {
        const SettingsCheck check = Check(std::string("[General]\n") + row.m_General);
        const std::vector<std::string> plan(check.m_Plan.begin() + 1, check.m_Plan.end());
        EXPECT_EQ(plan, row.m_Plan) << row.m_General;
    }
}

}  // namespace
}  // namespace tw
