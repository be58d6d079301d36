#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/fakeservice.h"
#include "support/gatewayfixture.h"

namespace tw {
namespace {

using test::FakeService;

class RecordingMessages : public MessageBoxes {
  public:
    void ShowMessage(const std::string& text) override { m_Shown.push_back(text); }
    void ShowError(const std::string& text) override { m_Shown.push_back("error: " + text); }
    std::vector<std::string> m_Shown;
};

class RecordingWindow : public StartupWindow {
  public:
    void ShowExitKeyHint() override { m_Steps.emplace_back("exit hint"); }
    void AppendVersionToCaption(const std::string& version) override {
        m_Steps.push_back("version " + version);
    }
    void HideMainWindow() override { m_Steps.emplace_back("hide"); }
    std::vector<std::string> m_Steps;
};

TEST(CommandLineTest, SwitchesAreWholeArgumentsAndRemovalWins) {
    using Action = CommandLine::Action;
    const struct {
        std::vector<std::string> m_Arguments;
        Action m_Action;
    } rows[] = {
        {{}, Action::Run},
        {{"/I"}, Action::Install},
        {{"/i"}, Action::Install},
        {{"--Install"}, Action::Install},
        {{"/u"}, Action::Uninstall},
        {{"--uninstall"}, Action::Uninstall},
        {{"/I", "/U"}, Action::Uninstall},
        {{"--install", "--uninstall"}, Action::Uninstall},
        {{"--check-config", "/I"}, Action::CheckConfig},
        {{"--service"}, Action::Run},
        {{"--version"}, Action::ShowVersion},
        {{"--help"}, Action::ShowHelp},
        {{"/usr/lib/x"}, Action::Invalid},
        {{"/Install"}, Action::Invalid},
        {{"--app-folder"}, Action::Invalid},
        {{"--verbose"}, Action::Invalid},
    };
    for (const auto& row : rows) {
        const CommandLine parsed = ParseCommandLine(row.m_Arguments);
        EXPECT_EQ(parsed.m_Action, row.m_Action)
            << (row.m_Arguments.empty() ? "" : row.m_Arguments[0]);
        EXPECT_EQ(parsed.m_Error.empty(), row.m_Action != Action::Invalid);
    }
    const CommandLine run = ParseCommandLine({"--app-folder", "/srv/tw", "--headless"});
    EXPECT_EQ(run.m_Action, Action::Run);
    EXPECT_EQ(run.m_AppFolder, "/srv/tw");
    EXPECT_TRUE(run.m_Headless);
    EXPECT_EQ(ParseCommandLine({"-x"}).m_Error, "unknown option: -x");
}

TEST(CommandLineTest, AServiceByTheUnitsSwitchOrAWaitingServiceManagerOnly) {
    EXPECT_FALSE(RunsAsService(false, nullptr));
    EXPECT_FALSE(RunsAsService(false, ""));
    EXPECT_TRUE(RunsAsService(true, nullptr));
    EXPECT_TRUE(RunsAsService(false, "/run/systemd/notify"));
    EXPECT_TRUE(ParseCommandLine({"--service"}).m_Service);
}

TEST(CommandLineTest, HeadlessWhenAskedAsServiceOrWithoutDisplay) {
    const struct {
        const char* m_Display;
        const char* m_Wayland;
        const char* m_Platform;
        bool m_Requested;
        bool m_Service;
        bool m_Headless;
    } rows[] = {
        {":0", nullptr, nullptr, false, false, false},
        {nullptr, "wayland-0", nullptr, false, false, false},
        {nullptr, nullptr, "offscreen", false, false, false},
        {nullptr, nullptr, nullptr, false, false, true},
        {"", "", "", false, false, true},
        {":0", nullptr, nullptr, true, false, true},
        {":0", nullptr, nullptr, false, true, true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ChooseHeadless(row.m_Requested, row.m_Service, row.m_Display, row.m_Wayland,
                                 row.m_Platform),
                  row.m_Headless);
    }
}

class InstanceTest : public ::testing::Test {
  protected:
    test::TempFolder m_Folder;
    FakeService m_Service;
    InstanceLock m_Lock;
};

TEST_F(InstanceTest, InstallAndUninstallReportTheirOutcomeAndKeepTheFlag) {
    const struct {
        const char* m_Switch;
        const char* m_Message;
        const char* m_Stored;
        int m_Status;
        bool m_Succeeds;
        bool m_Stores = true;
    } rows[] = {
        {"/I", "Tellwick for Zorvan service installation succeeded", "1", 0, true},
        {"/I", "Tellwick for Zorvan failed to install as service", "unchanged", 1, false},
        {"/I", "error: Tellwick for Zorvan: RunAsService=1 could not be stored", "unchanged", 1,
         true, false},
        {"/U", "Tellwick for Zorvan service uninstalled successfully", "0", 0, true},
        {"/U", "Tellwick for Zorvan failed to uninstall as service", "unchanged", 1, false},
        {"/U", "error: Tellwick for Zorvan: RunAsService=0 could not be stored", "unchanged", 1,
         true, false},
    };
    for (const auto& row : rows) {
        FakeService service;
        service.m_Settings["Parameters/RunAsService"] = "unchanged";
        service.m_InstallSucceeds = service.m_UninstallSucceeds = row.m_Succeeds;
        service.m_SaveSucceeds = row.m_Stores;
        RecordingMessages messages;
        InstanceLock lock;
        const auto status = CheckInstanceAndSwitches(
            ParseCommandLine({row.m_Switch}), m_Folder.Path(), false, lock, service, messages);
        EXPECT_EQ(status, row.m_Status) << row.m_Switch << row.m_Succeeds;
        EXPECT_EQ(messages.m_Shown, std::vector<std::string>{row.m_Message});
        EXPECT_EQ(service.GetSetting("Parameters", "RunAsService", ""), row.m_Stored);
    }
}

TEST_F(InstanceTest, ALockFileThatIsALinkIsNeitherFollowedNorTruncated) {
    m_Folder.Write("precious.txt", "keep me");
    std::filesystem::create_symlink(m_Folder.Path() + "precious.txt",
                                    m_Folder.Path() + "tellwick.lock");
    std::string error;
    EXPECT_EQ(m_Lock.Acquire(m_Folder.Path(), error), InstanceLock::Result::Failed);
    EXPECT_NE(error.find("tellwick.lock"), std::string::npos);
    EXPECT_EQ(m_Folder.Read("precious.txt"), "keep me");
}

TEST_F(InstanceTest, ASecondInstanceEndsAndSaysSoOnlyWhenNotAService) {
    InstanceLock running;
    std::string error;
    ASSERT_EQ(running.Acquire(m_Folder.Path(), error), InstanceLock::Result::Acquired);
    for (const bool runAsService : {false, true}) {
        RecordingMessages messages;
        InstanceLock second;
        EXPECT_EQ(CheckInstanceAndSwitches(ParseCommandLine({"/U"}), m_Folder.Path(), runAsService,
                                           second, m_Service, messages),
                  1);
        const std::vector<std::string> expected =
            runAsService ? std::vector<std::string>{}
                         : std::vector<std::string>{
                               "error: Tellwick for Zorvan Alarm Server is already started!"};
        EXPECT_EQ(messages.m_Shown, expected);
    }
    EXPECT_EQ(m_Service.m_UninstallCalls, 0);
}

class StartGatewayTest : public ::testing::Test, public test::GatewayFixture {
  protected:
    StartGatewayTest() { m_Alarms.m_Through = &m_Link; }

    bool Start(const std::string& ini, bool runAsService = false) {
        m_Ini.Write("Tellwick.ini", ini);
        return StartGateway(m_Gateway, m_Link, m_Edge, runAsService);
    }

    AlarmLink m_Link{m_Gateway};
    FakeService m_Service;
    RecordingMessages m_Messages;
    RecordingWindow m_Window;
    std::map<int, std::string> m_Devices;
    StartupEdge m_Edge{m_Service, m_Messages, m_Window,
                       [this](int16_t port, const std::string& path) { m_Devices[port] = path; }};
};

TEST_F(StartGatewayTest, FirstLinesAreTheDashesTheVersionAndTheClientPorts) {
    ASSERT_TRUE(
        Start("[ESPA_Port_1]\nPortType=TCPS\nListenPort=4000\nListenAddress=127.0.0.1\n"
              "[ESPA_Port_3]\nPortType=TCPC\nRemoteAddress=10.0.0.5:4001\n"));
    const std::vector<std::string> expected{
        std::string(80, '-'),
        "Tellwick for Zorvan is starting, version 1.0.08",
        "Created socked client for IP 10.0.0.5:4001",
    };
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(m_Data[3].m_RemoteHost, "10.0.0.5");
    EXPECT_EQ(m_Data[3].m_RemotePort, 4001);
    EXPECT_EQ(m_Listeners[1].m_LocalPort, 4000);
    EXPECT_EQ(m_Listeners[1].m_LocalAddress, "127.0.0.1");
    EXPECT_EQ(m_Listeners[1].m_ListenCalls + m_Data[3].m_ConnectCalls, 0);
    EXPECT_EQ(m_View.StatusPanel(1), "Waiting for Zorvan connection at port 14000");
}

TEST_F(StartGatewayTest, ALeftJournalIsRestoredOrNamedWhenPersistingIsOff) {
    test::FakeJournal journal;
    journal.m_Kept.Alarms.push_back({1, 0, "KEPT"});
    m_Edge.m_Journal = &journal;
    ASSERT_TRUE(Start("[General]\nPersistAlarmBuffer=0\n"));
    EXPECT_EQ(LogLines().back(), "AlarmBuffer.journal: left unread, PersistAlarmBuffer is 0");
    EXPECT_TRUE(m_Link.AlarmBuffer().empty());
    ASSERT_TRUE(Start("[General]\nPersistAlarmBuffer=1\nPersistedAlarmMaxAge=0\n"));
    EXPECT_EQ(m_Link.AlarmBuffer().size(), 1U);
}

TEST_F(StartGatewayTest, ListenerFailureIsLoggedOnlyForTheTcpRoute) {
    m_ZorvanListener.m_ListenError = "address in use";
    for (const int method : {0, 1, 2}) {
        m_ZorvanListener.m_ListenCalls = 0;
        ASSERT_TRUE(Start("[General]\nZorvanConnectionMethod=" + std::to_string(method) + "\n"));
        const bool logged = LogLines().back() ==
                            "Could not set Zorvan port (14000) to listen mode, err: address in use";
        EXPECT_EQ(logged, method == 2) << method;
        EXPECT_EQ(m_ZorvanListener.m_ListenCalls, method == 2 ? 1 : 0);
    }
}

// "COM2" alone leaves the serial object's own line settings; line settings it
// cannot use are reported once every port is set up; the probable mistakes
// follow, those of the files last.
TEST_F(StartGatewayTest, RowsOnlyForUsablePortsInOrderWithTransportsConfigured) {
    m_Edge.m_CheckFiles = [](const SettingsCheck& check) {
        return std::vector<ConfigFinding>{{"", "", "", check.m_Ports[5].SerialDevice()}};
    };
    ASSERT_TRUE(
        Start("[ESPA_Port_0]\nDescription=Ward\nPortType=TCPS\nListenPort=4001\n"
              "[ESPA_Port_1]\nPortType=COM\nComSetting=COM4,fast,N,8,1\n"
              "[ESPA_Port_2]\nDescription=No port\nPortType=TCPS\nListenPort=0\n"
              "[ESPA_Port_3]\nPortType=COM\nComSetting=COM2\n"
              "[ESPA_Port_4]\nDescription=Bad\nPortType=TCPC\nRemoteAddress=h:70000\n"
              "[ESPA_Port_5]\nDescription=Panel\nPortType=COM\n"
              "ComSetting=COM3,19200,E,7,2,2\nComDevice=/dev/pts/9\n"
              "[ESPA_Port_6]\nDescription=Odd\nPortType=X25\n"
              "[ESPA_Port_7]\nPortType=TCPC\nRemoteAddress=10.0.0.5:4001\n"));
    for (int16_t port = 0; port < kPortCount; ++port) {
        EXPECT_EQ(m_View.HasPortRow(port), port != 2 && port != 4 && port != 6) << port;
    }
    EXPECT_EQ(m_View.PortColumn(0, View::ColumnDescription), "Ward");
    EXPECT_EQ(m_View.PortColumn(5, View::ColumnDescription), "Panel");
    EXPECT_EQ(m_View.StatusWrites(0), 1);
    EXPECT_EQ(m_View.StatusWrites(5), 1);
    EXPECT_EQ(m_Serials[3].m_CommPort, 2);
    EXPECT_EQ(m_Serials[3].m_Settings, "");
    EXPECT_EQ(m_Serials[5].m_CommPort, 3);
    EXPECT_EQ(m_Serials[5].m_Settings, "19200,E,7,2");
    EXPECT_EQ(m_Serials[5].m_Handshaking, 2);
    EXPECT_EQ((std::map<int, std::string>{{1, ""}, {3, ""}, {5, "/dev/pts/9"}}), m_Devices);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 8U);
    EXPECT_NE(lines[2].find("Configuration error in section ESPA_Port_4, key RemoteAddress"),
              std::string::npos);
    EXPECT_EQ(lines[3], "Created socked client for IP 10.0.0.5:4001");
    EXPECT_EQ(lines[4],
              "Configuration error in section ESPA_Port_1, key ComSetting = "
              "\"COM4,fast,N,8,1\": Invalid line settings \"fast,N,8,1\"");
    EXPECT_EQ(lines[5],
              "Configuration warning in section ESPA_Port_2, key ListenPort = \"0\": is out of "
              "range 1 to 65535, so the port is not used");
    EXPECT_EQ(lines[6].substr(0, 59),
              "Configuration warning in section ESPA_Port_6, key PortType ");
    EXPECT_EQ(lines[7], "Configuration warning: /dev/pts/9");
}

TEST_F(StartGatewayTest, AnUnusableGeneralValueRefusesTheStart) {
    EXPECT_FALSE(Start("[General]\nZorvanPort=99999999999\n"));
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_NE(lines[2].find("Configuration error in section General, key ZorvanPort"),
              std::string::npos);
    ASSERT_EQ(m_Messages.m_Shown.size(), 1U);
    EXPECT_EQ(m_Messages.m_Shown[0],
              "error: " + lines[2] + "\nTellwick for Zorvan is not started.");
    EXPECT_EQ(m_ZorvanListener.m_ListenCalls, 0);
    EXPECT_TRUE(m_Window.m_Steps.empty());
}

TEST_F(StartGatewayTest, AStopCountsWhatItDiscards) {
    ASSERT_TRUE(Start("[General]\nZorvanConnectionMethod=0\n"));
    m_Zorvan2.m_Fail = true;
    for (int alarm = 0; alarm < 203; ++alarm) {
        m_Link.SendAlarm(1, {});
    }
    m_Gateway.m_Runtime[2].SendQueue.resize(4);
    m_Gateway.m_Runtime[6].SendQueue.resize(1);
    EXPECT_EQ(DiscardedAtStopLines(m_Gateway, m_Link),
              (std::vector<std::string>{"3 alarm(s) were dropped while the alarm buffer was full",
                                        "200 buffered alarm(s) discarded at stop",
                                        "5 queued status message(s) discarded at stop"}));
    m_Gateway.m_Runtime = {};
    EXPECT_TRUE(DiscardedAtStopLines(m_Gateway, AlarmLink(m_Gateway)).empty());

    test::FakeJournal journal;
    AlarmLink keeping(m_Gateway);
    keeping.KeepBufferIn(journal);
    keeping.SendAlarm(1, {});
    EXPECT_EQ(DiscardedAtStopLines(m_Gateway, keeping),
              std::vector<std::string>{
                  "1 buffered alarm(s) kept in AlarmBuffer.journal for the next start"});
}

TEST_F(StartGatewayTest, AsServiceItReportsToTheManagerAndHides) {
    for (const bool runAsService : {false, true}) {
        m_Window.m_Steps.clear();
        ASSERT_TRUE(Start("", runAsService));
        const std::vector<std::string> expected =
            runAsService ? std::vector<std::string>{"exit hint", "hide", "version 1.0.08"}
                         : std::vector<std::string>{"exit hint", "version 1.0.08"};
        EXPECT_EQ(m_Window.m_Steps, expected);
    }
    EXPECT_EQ(m_Service.m_StartServiceCalls, 1);
    EXPECT_EQ(m_Service.m_Events,
              std::vector<std::string>{"4/110/Tellwick for Zorvan Alarm Server started"});
}

}  // namespace
}  // namespace tw
