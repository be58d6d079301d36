#include "alarmlink/alarmlink.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "support/gatewayfixture.h"

namespace tw {
namespace {

using test::FakeSocket;
using test::FakeVendorLibrary;
using test::Lines;

const std::string kWorkedExample = "1|||Ward 3||ESPA||Room 12|";
const AlarmFields kWorkedFields = {"Ward 3", "", "ESPA", "", "Room 12", ""};
const std::string kFe7(7, '\xFE');

// The alarm server's listener and data socket are m_ZorvanListener and
// m_ZorvanData of the fixture.
class AlarmLinkTest : public ::testing::Test, public test::GatewayFixture {
  public:
    AlarmLinkTest() {
        m_ZorvanListener.SetEvents(&m_Link.ListenerEvents());
        m_ZorvanData.SetEvents(&m_Link.DataEvents());
    }

    void UseMethod(int16_t method) { m_Gateway.m_General.ZorvanConnectionMethod = method; }
    void ConnectAlarmServer() {
        m_ZorvanData.m_State = Socket::StateConnected;
        m_ZorvanData.m_RemoteHostIP = "10.0.0.9";
        m_ZorvanData.m_RemotePort = 50001;
    }
    static AlarmFields Numbered(int i) {
        return {"Alarm " + std::to_string(i), "", "", "", "", ""};
    }

    AlarmLink m_Link{m_Gateway};
};

TEST_F(AlarmLinkTest, WorkedExampleLeavesByEachRouteWithItsOwnFraming) {
    UseMethod(ZorvanMethodTcp);
    ConnectAlarmServer();
    m_Link.SendAlarm(1, kWorkedFields);
    EXPECT_EQ(m_ZorvanData.m_SendCalls, std::vector<std::string>{kWorkedExample + "\n"});

    UseMethod(ZorvanMethodLibrary2);
    m_Link.SendAlarm(1, kWorkedFields);
    EXPECT_EQ(m_Zorvan2.m_Commands, std::vector<std::string>{"TA:" + kWorkedExample});

    UseMethod(ZorvanMethodLibrary3);
    m_Link.SendAlarm(1, kWorkedFields);
    EXPECT_EQ(m_Zorvan3.m_Commands, std::vector<std::string>{"SA:1" + kFe7 + kWorkedExample});

    // The trace and the counter see the plain message; only the TCP route's
    // line feed is traced, and it is not counted.
    EXPECT_EQ(m_View.m_Lines, (std::vector<std::string>{
                                  "10:31:05 Tx -> Zorvan: " + kWorkedExample + "<LF>",
                                  "10:31:05 Tx -> Zorvan: " + kWorkedExample,
                                  "10:31:05 Tx -> Zorvan: " + kWorkedExample,
                              }));
    EXPECT_EQ(m_Link.ZorvanTxBytes(), 78);
    EXPECT_EQ(m_View.StatusPanel(2), "Zorvan TxBytes:78, RxBytes:0");
    EXPECT_TRUE(m_Link.AlarmBuffer().empty());
}

TEST_F(AlarmLinkTest, EmptyFieldsAndRestoreStateKeepTheLayout) {
    UseMethod(ZorvanMethodLibrary2);
    m_Link.SendAlarm(1, {});
    m_Link.SendAlarm(0, {"Port", "", "Cat", "", "restored", ""});
    EXPECT_EQ(m_Zorvan2.m_Commands,
              (std::vector<std::string>{"TA:1||||||||", "TA:0|||Port||Cat||restored|"}));
}

TEST_F(AlarmLinkTest, FailedHandOverIsNeitherTracedNorCountedAndIsBuffered) {
    struct Row {
        const char* m_Name;
        int16_t m_Method;
        std::function<void(AlarmLinkTest&)> m_Setup;
    };
    const std::vector<Row> rows = {
        {"library 2 raises", ZorvanMethodLibrary2,
         [](AlarmLinkTest& t) { t.m_Zorvan2.m_Fail = true; }},
        {"library 3 missing", ZorvanMethodLibrary3,
         [](AlarmLinkTest& t) { t.m_Zorvan3.m_Fail = true; }},
        {"no connection", ZorvanMethodTcp, [](AlarmLinkTest&) {}},
        {"send error", ZorvanMethodTcp,
         [](AlarmLinkTest& t) {
             t.ConnectAlarmServer();
             t.m_ZorvanData.m_FailSend = true;
         }},
        {"write backlog full", ZorvanMethodTcp,
         [](AlarmLinkTest& t) {
             t.ConnectAlarmServer();
             t.m_ZorvanData.m_BytesToWrite = 65536;
         }},
        {"unknown method", 3, [](AlarmLinkTest&) {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.m_Name);
        m_Zorvan2.m_Fail = false;
        m_Zorvan3.m_Fail = false;
        m_ZorvanData = FakeSocket{};
        UseMethod(row.m_Method);
        row.m_Setup(*this);
        AlarmLink link(m_Gateway);
        m_View.m_Lines.clear();
        link.SendAlarm(1, kWorkedFields);
        EXPECT_EQ(link.ZorvanTxBytes(), 0);
        EXPECT_TRUE(m_View.m_Lines.empty());
        ASSERT_EQ(link.AlarmBuffer().size(), 1U);
        EXPECT_EQ(link.AlarmBuffer().front().m_AlarmText, kWorkedExample);
        EXPECT_EQ(m_View.StatusPanel(2), "Zorvan TxBytes:0, RxBytes:0");
    }
}

// The bound itself, which alarms are kept and their delivery in order are
// proven against the built program (faults_e2e_test).
TEST_F(AlarmLinkTest, AFullBufferIsLoggedOncePerEpisode) {
    for (int episode = 0; episode < 2; ++episode) {
        m_ZorvanData.m_State = Socket::StateClosed;
        for (int i = 1; i <= 203; ++i) {
            m_Link.SendAlarm(1, Numbered(i));
        }
        ConnectAlarmServer();
        m_Link.ResendBufferedAlarms();
        EXPECT_TRUE(m_Link.AlarmBuffer().empty());
    }
    const std::string full =
        "Alarm buffer is full (200 alarms), new alarms are dropped until it has room again";
    const std::string room =
        "Alarm buffer has room again, 3 alarm(s) were dropped while it was full";
    EXPECT_EQ(LogLines(), (Lines{full, room, full, room}));
}

TEST_F(AlarmLinkTest, ResendGoesOldestFirstAndStopsAtTheFirstFailure) {
    FakeVendorLibrary& library = m_Zorvan2;
    library.m_AcceptLimit = 0;
    UseMethod(ZorvanMethodLibrary2);
    for (int i = 1; i <= 3; ++i) {
        m_Link.SendAlarm(1, Numbered(i));
    }
    // A new alarm is tried at once, ahead of the buffered ones.
    library.m_AcceptLimit = 1;
    m_Link.SendAlarm(1, Numbered(4));
    m_Link.ResendBufferedAlarms();
    EXPECT_EQ(library.m_Commands, std::vector<std::string>{"TA:1|||Alarm 4|||||"});
    ASSERT_EQ(m_Link.AlarmBuffer().size(), 3U);

    library.m_AcceptLimit = 1;
    m_Link.ResendBufferedAlarms();
    ASSERT_EQ(m_Link.AlarmBuffer().size(), 2U);
    EXPECT_EQ(m_Link.AlarmBuffer().front().m_AlarmText, "1|||Alarm 2|||||");

    library.m_AcceptLimit = 10;
    m_Link.ResendBufferedAlarms();
    EXPECT_TRUE(m_Link.AlarmBuffer().empty());
    EXPECT_EQ(library.m_Commands,
              (std::vector<std::string>{"TA:1|||Alarm 4|||||", "TA:1|||Alarm 1|||||",
                                        "TA:1|||Alarm 2|||||", "TA:1|||Alarm 3|||||"}));
}

TEST_F(AlarmLinkTest, ByteCountersStartAgainAtZeroAbove65535) {
    UseMethod(ZorvanMethodLibrary2);
    ASSERT_TRUE(m_Link.SendToZorvan(std::string(65530, 'x')));
    EXPECT_EQ(m_Link.ZorvanTxBytes(), 65530);
    ASSERT_TRUE(m_Link.SendToZorvan("0123456789"));
    EXPECT_EQ(m_Link.ZorvanTxBytes(), 0);

    ConnectAlarmServer();
    m_ZorvanData.Arrive(std::string(65535, 'r'));
    EXPECT_EQ(m_Link.ZorvanRxBytes(), 65535);
    m_ZorvanData.Arrive("r");
    EXPECT_EQ(m_Link.ZorvanRxBytes(), 0);
    m_ZorvanData.Arrive("ok");
    EXPECT_EQ(m_View.StatusPanel(2), "Zorvan TxBytes:0, RxBytes:2");
    EXPECT_TRUE(m_ZorvanData.m_Pending.empty());
}

TEST_F(AlarmLinkTest, NewestAlarmServerConnectionReplacesTheOlder) {
    m_Link.SetUpZorvanListener();
    m_ZorvanListener.m_RemoteHostIP = "10.0.0.9";
    m_ZorvanListener.m_RemotePort = 50001;
    // What the accepted data socket will report as its peer.
    m_ZorvanData.m_RemoteHostIP = "10.0.0.9";
    m_ZorvanData.m_RemotePort = 50001;
    m_ZorvanListener.m_Events->OnConnectionRequest(11);
    EXPECT_EQ(m_View.StatusPanel(1), "Connected to Zorvan 10.0.0.9:50001");

    m_ZorvanListener.m_RemoteHostIP = "10.0.0.10";
    m_ZorvanListener.m_RemotePort = 50002;
    m_ZorvanListener.m_Events->OnConnectionRequest(12);
    EXPECT_EQ(m_ZorvanData.m_CloseCalls, 2);
    EXPECT_EQ(m_ZorvanData.m_AcceptedIds, (std::vector<int64_t>{11, 12}));
    EXPECT_EQ(m_ZorvanData.State(), Socket::StateConnected);
    EXPECT_EQ(m_ZorvanListener.State(), Socket::StateListening);
    m_ZorvanData.m_RefuseAccept = true;
    m_ZorvanListener.m_Events->OnConnectionRequest(13);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "Accepted Zorvan connection from 10.0.0.9:50001",
                              "Accepted Zorvan connection from 10.0.0.10:50002",
                              "Could not accept Zorvan connection from 10.0.0.10:50002"}));
}

TEST_F(AlarmLinkTest, ARefusedHostDoesNotKnockTheAlarmServerOff) {
    std::string badEntry;
    m_Gateway.m_General.ZorvanAllowedHosts = *ParseHostFilter("127.0.0.1", badEntry);
    m_Gateway.m_General.ZorvanListenAddress = "127.0.0.1";
    m_Link.SetUpZorvanListener();
    EXPECT_EQ(m_ZorvanListener.m_LocalAddress, "127.0.0.1");
    ConnectAlarmServer();
    m_ZorvanListener.m_RemoteHostIP = "10.0.0.66";
    m_ZorvanListener.m_RemotePort = 50003;
    m_ZorvanListener.m_Events->OnConnectionRequest(13);
    EXPECT_EQ(m_ZorvanData.m_CloseCalls, 0);
    EXPECT_TRUE(m_ZorvanData.m_AcceptedIds.empty());
    EXPECT_EQ(m_ZorvanData.State(), Socket::StateConnected);
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Refused Zorvan connection from 10.0.0.66:50003 "
                                                   "(not in ZorvanAllowedHosts)"});

    m_ZorvanListener.m_RemoteHostIP = "127.0.0.1";
    m_ZorvanListener.m_Events->OnConnectionRequest(14);
    EXPECT_EQ(m_ZorvanData.m_AcceptedIds, std::vector<int64_t>{14});
}

TEST_F(AlarmLinkTest, PresenceCheckAsksTheLibraryInTheFixedOrderAndPanelOneSaysSo) {
    struct Row {
        const char* m_Name;
        int16_t m_Method;
        std::vector<std::pair<int32_t, int32_t>> m_Answers;
        bool m_Fail;
        std::vector<int32_t> m_Questions;
        const char* m_Panel;  // "... is running" exactly when the check says so
    };
    const std::vector<Row> rows = {
        {"gen 2 running", 0, {{1, 1}}, false, {1}, "Zorvan 2 is running"},
        {"gen 2 absent", 0, {}, false, {1}, "Zorvan 2 is not running"},
        {"gen 2 library missing", 0, {{1, 1}}, true, {1}, "Zorvan 2 is not running"},
        {"gen 3 absent", 1, {}, false, {1}, "Zorvan 3 is not running"},
        {"gen 3 error", 1, {{1, 1}}, true, {1}, "Zorvan 3 is not running"},
        {"gen 3 both checks zero", 1, {{1, 1}}, false, {1, 0x100, 0x200}, "Zorvan 3 is running"},
        {"gen 3 check B, inactive",
         1,
         {{1, 1}, {0x200, 1}},
         false,
         {1, 0x100, 0x200, 0x400},
         "Zorvan 3 is not running"},
        {"gen 3 check A, active",
         1,
         {{1, 1}, {0x100, 1}, {0x400, 1}},
         false,
         {1, 0x100, 0x200, 0x400},
         "Zorvan 3 is running"},
        {"unknown method leaves the panel alone", 7, {{1, 1}}, false, {}, "previous"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.m_Name);
        for (FakeVendorLibrary* library : {&m_Zorvan2, &m_Zorvan3}) {
            *library = FakeVendorLibrary{};
            library->m_Answers = row.m_Answers;
            library->m_Fail = row.m_Fail;
        }
        UseMethod(row.m_Method);
        EXPECT_EQ(m_Link.IsZorvanRunning(), std::string(row.m_Panel).ends_with(" is running"));
        EXPECT_EQ(m_Zorvan2.m_Questions.size() + m_Zorvan3.m_Questions.size(),
                  row.m_Questions.size());
        EXPECT_EQ(
            row.m_Method == ZorvanMethodLibrary2 ? m_Zorvan2.m_Questions : m_Zorvan3.m_Questions,
            row.m_Questions);
        m_View.SetStatusPanel(1, "previous");
        m_Link.ShowZorvanConnectionState();
        EXPECT_EQ(m_View.StatusPanel(1), row.m_Panel);
    }

    UseMethod(ZorvanMethodTcp);
    EXPECT_FALSE(m_Link.IsZorvanRunning());
    ConnectAlarmServer();
    EXPECT_TRUE(m_Link.IsZorvanRunning());
}

TEST_F(AlarmLinkTest, WatchdogIsNeverBufferedAndCountsNothingWhenOff) {
    m_Gateway.m_General.WatchDogTagName = "WD";
    m_Gateway.m_General.WatchDogInterval = 1000;
    m_Link.WatchDogTick(1000);
    EXPECT_TRUE(m_Link.AlarmBuffer().empty());

    m_Gateway.m_General.WatchDogInterval = 0;
    m_Link.WatchDogTick(1000);
    EXPECT_EQ(m_Link.WatchDogElapsed(), 0);

    m_Gateway.m_General.WatchDogInterval = 30000;
    m_Gateway.m_General.WatchDogTagName.clear();
    ConnectAlarmServer();
    for (int second = 1; second <= 30; ++second) {
        m_Link.WatchDogTick(1000);
    }
    EXPECT_EQ(m_Link.WatchDogElapsed(), 0);
    EXPECT_TRUE(m_ZorvanData.m_SendCalls.empty());
}

// Alarms 1 to 3 (17 bytes a line) and a watchdog line (7) went out; the
// alarm server's TCP has not acknowledged the last 26 bytes. The alarms among
// them go out again first on the next connection, however the connection
// ends; watchdog lines are not repeated. The connection is closed and panel 1
// shows it at once.
TEST_F(AlarmLinkTest, AlarmsTheAlarmServerDidNotAcknowledgeAreSentAgainFirst) {
    const std::string again =
        "Zorvan connection ended before the alarm server acknowledged 2 "
        "alarm(s), which are sent again";
    const struct {
        const char* m_Name;
        std::function<void(AlarmLinkTest&, AlarmLink&)> m_End;
        std::vector<std::string> m_Lines;
    } rows[] = {
        {"closed",
         [](AlarmLinkTest& t, AlarmLink&) { t.m_ZorvanData.m_Events->OnClose(); },
         {again, "Zorvan connection was closed"}},
        {"reset",
         [](AlarmLinkTest& t, AlarmLink&) { t.m_ZorvanData.m_Events->OnError(5, "reset"); },
         {again, "Zorvan connection failed (reset)"}},
        {"closed by the alarm server's reset",
         [](AlarmLinkTest& t, AlarmLink&) {
             t.m_ZorvanData.m_PartnerReset = true;
             t.m_ZorvanData.m_Events->OnClose();
         },
         {again, "Zorvan connection was closed",
          "Zorvan connection was reset by the alarm server: alarms it had received but not read, "
          "if any, are lost"}},
        {"replaced",
         [](AlarmLinkTest& t, AlarmLink&) { t.m_ZorvanListener.m_Events->OnConnectionRequest(7); },
         {again, "Accepted Zorvan connection from :0"}},
        {"nothing acknowledged for 30 s",
         [](AlarmLinkTest&, AlarmLink& link) {
             for (int tick = 0; tick < 300; ++tick) {
                 link.SuperviseConnection(100);
             }
         },
         {"Zorvan connection closed: it has taken no data for 30 s", again}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.m_Name);
        AlarmLink link(m_Gateway);
        m_ZorvanListener = FakeSocket{};
        m_ZorvanData = FakeSocket{};
        m_ZorvanListener.SetEvents(&link.ListenerEvents());
        m_ZorvanData.SetEvents(&link.DataEvents());
        link.SetUpZorvanListener();
        ConnectAlarmServer();
        for (int i = 1; i <= 3; ++i) {
            link.SendAlarm(1, Numbered(i));
        }
        link.SendToZorvan("1|||WD");
        m_ZorvanData.m_Unacknowledged = 26;
        link.SuperviseConnection(100);
        NewLogLines();
        m_View.SetStatusPanel(1, "stale");
        row.m_End(*this, link);
        EXPECT_EQ(NewLogLines(), row.m_Lines);
        EXPECT_EQ(m_ZorvanData.m_CloseCalls, 1);
        EXPECT_EQ(m_View.StatusPanel(1) == "Waiting for Zorvan connection at port 14000",
                  m_ZorvanData.State() == Socket::StateClosed);
        std::vector<std::string> buffered;
        for (const cZorvanAlarm& alarm : link.AlarmBuffer()) {
            buffered.push_back(alarm.m_AlarmText);
        }
        EXPECT_EQ(buffered, (std::vector<std::string>{"1|||Alarm 2|||||", "1|||Alarm 3|||||"}));
    }
}

TEST_F(AlarmLinkTest, AConnectionIsStalledOnlyWhileNothingMoreIsAcknowledged) {
    ConnectAlarmServer();
    for (int i = 1; i <= 400; ++i) {
        m_Link.SendAlarm(1, Numbered(i));
    }
    for (size_t waiting = 400 * 17; waiting > 0; waiting -= 17) {
        m_ZorvanData.m_Unacknowledged = waiting;
        m_Link.SuperviseConnection(100);
    }
    EXPECT_EQ(m_ZorvanData.State(), Socket::StateConnected);
    m_ZorvanData.m_Unacknowledged = 0;
    m_ZorvanData.m_BytesToWrite = 10;  // all acknowledged, but the backlog waits
    for (int tick = 0; tick <= 300; ++tick) {
        m_Link.SuperviseConnection(100);
    }
    EXPECT_EQ(m_ZorvanData.State(), Socket::StateClosed);
}

TEST_F(AlarmLinkTest, WithoutBufferingUndeliverableAndUnacknowledgedAlarmsAreCountedAsLost) {
    m_Gateway.m_General.BufferIfZorvanNotConnected = false;
    m_Link.SendAlarm(1, kWorkedFields);
    EXPECT_TRUE(LogLines().empty());
    ConnectAlarmServer();
    m_Link.SendAlarm(1, Numbered(1));
    m_ZorvanData.m_Unacknowledged = 17;
    m_ZorvanData.m_Events->OnClose();
    EXPECT_TRUE(m_Link.AlarmBuffer().empty());
    EXPECT_EQ(m_Link.Totals().Dropped, 2U);
    EXPECT_EQ(LogLines().front(),
              "Zorvan connection ended before the alarm server acknowledged 1 alarm(s), which are "
              "lost (no buffering)");
}

// Alarms delivered at once are journaled only when a connection ends before
// acknowledging them, all in one write, as at a stop.
TEST_F(AlarmLinkTest, TheJournalHoldsEveryBufferedAlarmUntilTheAlarmServerHasIt) {
    test::FakeJournal journal;
    m_Link.KeepBufferIn(journal);
    m_Link.SendAlarm(1, Numbered(1));
    m_Link.SendAlarm(1, Numbered(2));
    EXPECT_EQ(journal.Texts(), (Lines{"1|||Alarm 1|||||", "1|||Alarm 2|||||"}));

    ConnectAlarmServer();
    m_Link.SendAlarm(1, Numbered(3));
    m_Link.ResendBufferedAlarms();
    EXPECT_EQ(journal.m_Alarms.size(), 2U);
    m_ZorvanData.m_Unacknowledged = 17;  // alarm 3, 1, then 2 went out; 2 is not acknowledged
    m_Link.SuperviseConnection(100);
    EXPECT_EQ(journal.Texts(), Lines{"1|||Alarm 2|||||"});
    m_Link.SendAlarm(1, Numbered(4));
    m_Link.SendAlarm(1, Numbered(5));
    m_ZorvanData.m_Unacknowledged = 3 * 17;
    m_ZorvanData.m_Events->OnClose();
    EXPECT_EQ(journal.Texts(), (Lines{"1|||Alarm 2|||||", "1|||Alarm 4|||||", "1|||Alarm 5|||||"}));
    EXPECT_EQ(journal.m_AddCalls, 3);
    EXPECT_EQ(m_Link.AlarmBuffer().size(), 3U);

    UseMethod(ZorvanMethodLibrary2);
    m_Link.ResendBufferedAlarms();
    EXPECT_TRUE(journal.m_Alarms.empty());

    UseMethod(ZorvanMethodTcp);
    ConnectAlarmServer();
    m_Link.SendAlarm(1, Numbered(6));
    m_Link.KeepUnacknowledgedAtStop();
    EXPECT_EQ(journal.Texts(), Lines{"1|||Alarm 6|||||"});
    EXPECT_EQ(m_Link.AlarmBuffer().size(), 1U);
}

// The journal's alarms come back oldest first; new alarms follow them in order.
TEST_F(AlarmLinkTest, RestoredAlarmsDropTheTooOldAndFailedWritesAreLoggedOncePerEpisode) {
    const int64_t now = m_Gateway.Now().UnixSeconds;
    test::FakeJournal journal;
    journal.m_Kept = {{{4, now - 3601, "old"}, {7, now - 3600, "A"}, {9, now - 10, "B"}},
                      12,
                      {"AlarmBuffer.journal: last record incomplete (5 bytes), ignored"}};
    for (const JournaledAlarm& alarm : journal.m_Kept.Alarms) {
        journal.m_Alarms[alarm.Sequence] = alarm;
    }
    m_Link.KeepBufferIn(journal);
    EXPECT_EQ(journal.Texts(), (Lines{"A", "B"}));
    journal.m_Error = "No space left on device";
    m_Link.SendAlarm(1, Numbered(1));
    m_Link.SendAlarm(1, Numbered(2));
    journal.m_Error.clear();
    m_Link.SendAlarm(1, Numbered(3));
    Lines buffered;
    for (const cZorvanAlarm& alarm : m_Link.AlarmBuffer()) {
        buffered.push_back(alarm.m_AlarmText + " #" + std::to_string(alarm.m_Sequence));
    }
    EXPECT_EQ(buffered, (Lines{"A #7", "B #9", "1|||Alarm 1||||| #13", "1|||Alarm 2||||| #14",
                               "1|||Alarm 3||||| #15"}));
    EXPECT_EQ(m_Link.Totals().Dropped, 1U);
    EXPECT_EQ(LogLines(),
              (Lines{"AlarmBuffer.journal: last record incomplete (5 bytes), ignored",
                     "Dropped 1 alarm(s) from AlarmBuffer.journal, older than 3600 s",
                     "Restored 2 buffered alarm(s) from AlarmBuffer.journal",
                     "Could not write AlarmBuffer.journal (No space left on device), buffered "
                     "alarms are kept in memory only until it can",
                     "AlarmBuffer.journal is written again"}));
}

TEST_F(AlarmLinkTest, TheListenerIsTriedAgainEverySecondAndItsReturnLoggedOnce) {
    m_Gateway.m_General.ZorvanPort = 14001;
    m_ZorvanListener.m_ListenError = "The bound address is already in use";
    m_Link.SetUpZorvanListener();
    for (int second = 0; second < 3; ++second) {
        m_Link.KeepListening();
    }
    m_Link.ShowZorvanConnectionState();
    EXPECT_EQ(m_View.StatusPanel(1), "Zorvan connections at port 14001 are disabled");
    m_ZorvanListener.m_ListenError.clear();
    m_Link.KeepListening();
    m_Link.KeepListening();
    EXPECT_EQ(m_ZorvanListener.m_ListenCalls, 5);
    EXPECT_EQ(m_ZorvanListener.m_LocalPort, 14001);
    EXPECT_EQ(m_ZorvanListener.State(), Socket::StateListening);
    EXPECT_EQ(m_View.StatusPanel(1), "Waiting for Zorvan connection at port 14001");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "Could not set Zorvan port (14001) to listen mode, err: The bound "
                              "address is already in use",
                              "Zorvan port (14001) is in listen mode again"}));
}

}  // namespace
}  // namespace tw
