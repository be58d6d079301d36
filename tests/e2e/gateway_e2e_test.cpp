// The built gateway program as the operator runs it: a process of its own on
// a temporary folder, headless, reached over loopback sockets, stopped by
// signals. Every wait is bounded; a gateway still running at the end of a test
// is killed.
#include "e2e/gatewayprocess.h"

namespace tw::test {
namespace {

const std::string kStarting = "Tellwick for Zorvan is starting, version 1.0.08\r\n";

TEST_F(GatewayE2eTest, ASecondGatewayOnTheSameFolderRefusesToStart) {
    m_Folder.Write("Tellwick.ini", "[General]\nZorvanPort=" + std::to_string(FreePort()) + "\n");
    auto first = Run({});
    ASSERT_TRUE(LogShows(kStarting));
    auto second = Run({}, "second.txt");
    EXPECT_EQ(second->WaitForExit(), 1);
    EXPECT_EQ(m_Folder.Read("second.txt"),
              "Tellwick for Zorvan Alarm Server is already started!\n");
    first->Signal(SIGINT);
    EXPECT_EQ(first->WaitForExit(), 0);
}

// The unit text itself and the failure paths are proven in-process; this
// shows the switches reach the service registration with this program's
// path and folder.
TEST_F(GatewayE2eTest, InstallWritesTheUnitAndUninstallRemovesIt) {
    EXPECT_EQ(Run({"/I"})->WaitForExit(), 0);
    EXPECT_EQ(m_Folder.Read("output.txt"), "Tellwick for Zorvan service installation succeeded\n");
    const std::string unit = m_Folder.Read("units/tellwickforzorvan.service");
    EXPECT_NE(unit.find(std::string("ExecStart=\"") + TW_GATEWAY_BINARY +
                        "\" --service --app-folder \"" + m_Folder.Path() + "\"\n"),
              std::string::npos)
        << unit;
    EXPECT_EQ(Run({"--uninstall"})->WaitForExit(), 0);
    EXPECT_EQ(m_Folder.Read("output.txt"),
              "Tellwick for Zorvan service uninstalled successfully\n");
    EXPECT_FALSE(m_Folder.Exists("units/tellwickforzorvan.service"));
    EXPECT_NE(m_Folder.Read("units/tellwickforzorvan.parameters").find("RunAsService=0"),
              std::string::npos);
}

// The stored registration does not make a start a service: only the unit's
// --service (or a waiting service manager) does.
TEST_F(GatewayE2eTest, StartLinesThenTheStopLineWithTheSignalsReasonAlsoAfterInstall) {
    ASSERT_EQ(Run({"/I"})->WaitForExit(), 0);
    const struct {
        const char* m_Switch;  // besides --app-folder
        int m_Signal;
        bool m_Windowed;
        const char* m_Line;
    } rows[] = {
        {"--headless", SIGINT, false, "ESPA Server is stopping, reason 0\r\n"},
        {nullptr, SIGTERM, true, "ESPA Server is stopping, reason 3\r\n"},
        {"--service", SIGTERM, false, "ESPA Server is stopping, reason 1\r\n"},
    };
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.m_Line);
        std::filesystem::remove_all(m_Folder.Path() + "LogFiles");
        m_Folder.Write("Tellwick.ini",
                       "[General]\nZorvanPort=" + std::to_string(FreePort()) + "\n");
        std::vector<std::string> arguments{"--app-folder", m_Folder.Path()};
        if (row.m_Switch != nullptr) {
            arguments.emplace_back(row.m_Switch);
        }
        GatewayProcess gateway(arguments, m_Folder.Path() + "output.txt");
        ASSERT_TRUE(LogShows(kStarting)) << Log();
        const std::string log = Log();
        EXPECT_EQ(log.substr(0, 82), std::string(80, '-') + "\r\n");
        EXPECT_EQ(log.substr(82 + 18, kStarting.size()), kStarting);  // after the stamp
        EXPECT_EQ(gateway.HasLoaded("libqoffscreen"), row.m_Windowed);
        gateway.Signal(row.m_Signal);
        EXPECT_EQ(gateway.WaitForExit(), 0);
        EXPECT_TRUE(Log().ends_with(row.m_Line)) << Log();
    }
}

TEST_F(GatewayE2eTest, CheckConfigPassesTheExampleAndReportsMistakesWithItsExitStatus) {
    const struct {
        const char* m_Ini;  // nullptr: no Tellwick.ini
        const char* m_Folder;
        int m_Status;
        const char* m_Line;
    } rows[] = {
        {nullptr, TW_EXAMPLES_DIR, 0, "port 0: TCP server on 0.0.0.0:4001, 'Nurse call ward 3'\n"},
        {nullptr, TW_EXAMPLES_DIR, 0, "\nno findings\n"},
        {"[ESPA_Port_0]\nPortType=TCP\n", "", 1, "key PortType = \"TCP\": is none of"},
        {"[General]\nZorvanConnectionMethod=0\n", "", 1, "needs Zorvan2.dll, which cannot be"},
        {"[ESPA_Port_1]\nPortType=COM\nComSetting=COM1\nComDevice=/dev/tw-none\n", "", 1,
         "opens /dev/tw-none, which does not exist\n1 finding\n"},
        {nullptr, "", 1, "Configuration warning: Tellwick.ini is missing"},
        {nullptr, "missing/", 2, "tellwick: cannot read the configuration: "},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(m_Folder.Path() + "Tellwick.ini");
        if (row.m_Ini != nullptr) {
            m_Folder.Write("Tellwick.ini", row.m_Ini);
        }
        const std::string folder =
            row.m_Folder[0] == '/' ? row.m_Folder : m_Folder.Path() + row.m_Folder;
        GatewayProcess check({"--check-config", "--app-folder", folder},
                             m_Folder.Path() + "output.txt");
        EXPECT_EQ(check.WaitForExit(), row.m_Status) << row.m_Line;
        EXPECT_NE(m_Folder.Read("output.txt").find(row.m_Line), std::string::npos)
            << m_Folder.Read("output.txt");
    }
}

TEST_F(GatewayE2eTest, AnUnknownOptionIsRefusedWithUsage) {
    EXPECT_EQ(Run({"--colour"})->WaitForExit(), 2);
    EXPECT_EQ(m_Folder.Read("output.txt").rfind("tellwick: unknown option: --colour\n", 0), 0U);
}

}  // namespace
}  // namespace tw::test
