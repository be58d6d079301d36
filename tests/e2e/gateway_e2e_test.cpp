// The built gateway program as the operator runs it: a process of its own on
// a temporary folder, headless, reached over loopback sockets, stopped by
// signals. Every wait is bounded; a gateway still running at the end of a test
// is killed.
#include "e2e/gatewayprocess.h"

namespace tw::test {
namespace {

const char* const kStarting = "Tellwick for Zorvan is starting, version 1.0.08\r\n";

TEST_F(GatewayE2eTest, StartLinesThenTheStopLineWithTheSignalsReason) {
    const struct {
        int m_Signal;
        const char* m_Line;
    } rows[] = {
        {SIGINT, "ESPA Server is stopping, reason 0\r\n"},
        {SIGTERM, "ESPA Server is stopping, reason 3\r\n"},
    };
    for (const auto& row : rows) {
        std::filesystem::remove_all(m_Folder.Path() + "LogFiles");
        m_Folder.Write("Tellwick.ini",
                       "[General]\nZorvanPort=" + std::to_string(FreePort()) + "\n");
        auto gateway = Run({});
        ASSERT_TRUE(LogShows(kStarting)) << Log();
        const std::string log = Log();
        EXPECT_EQ(log.substr(0, 82), std::string(80, '-') + "\r\n");
        EXPECT_EQ(log.substr(82 + 18), kStarting);  // after the "YY-MM-DD HH:NN:SS " stamp
        gateway->Signal(row.m_Signal);
        EXPECT_EQ(gateway->WaitForExit(), 0);
        EXPECT_TRUE(Log().ends_with(row.m_Line)) << Log();
    }
}

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
    EXPECT_NE(unit.find(std::string("ExecStart=\"") + TW_GATEWAY_BINARY + "\" --app-folder \"" +
                        m_Folder.Path() + "\"\n"),
              std::string::npos)
        << unit;
    EXPECT_EQ(Run({"--uninstall"})->WaitForExit(), 0);
    EXPECT_EQ(m_Folder.Read("output.txt"),
              "Tellwick for Zorvan service uninstalled successfully\n");
    EXPECT_FALSE(m_Folder.Exists("units/tellwickforzorvan.service"));
    EXPECT_NE(m_Folder.Read("units/tellwickforzorvan.parameters").find("RunAsService=0"),
              std::string::npos);
}

TEST_F(GatewayE2eTest, AnUnknownOptionIsRefusedWithUsage) {
    EXPECT_EQ(Run({"--colour"})->WaitForExit(), 2);
    EXPECT_EQ(m_Folder.Read("output.txt").rfind("tellwick: unknown option: --colour\n", 0), 0U);
}

}  // namespace
}  // namespace tw::test
