#include "ports/supervision.h"

#include <gtest/gtest.h>

#include "support/gatewayfixture.h"

namespace tw {
namespace {

using test::FakeSocket;
using test::Lines;

class SupervisionTest : public ::testing::Test, public test::GatewayFixture {
  protected:
    SupervisionTest() {
        m_Alarms.m_Through = &m_Link;
        m_ZorvanListener.m_State = Socket::StateListening;
        m_ZorvanListener.m_LocalPort = 14000;
        SetAlarmServerPresent(true);
    }

    void Ticks(int count) {
        for (int i = 0; i < count; ++i) {
            m_Supervisor.Timer_Update_Timer();
        }
    }
    void Seconds(int count) { Ticks(10 * count); }

    AlarmLink m_Link{m_Gateway};
    Supervisor m_Supervisor{m_Gateway, m_Link};
};

TEST_F(SupervisionTest, FirstAttemptOfEveryKindComesWithTheFirstPass) {
    TcpServer(0, 5000);
    TcpClient(1);
    Com(2, 3);
    Ticks(9);
    EXPECT_EQ(m_Listeners[0].m_ListenCalls + m_Data[1].m_ConnectCalls + m_Serials[2].m_OpenCalls,
              0);
    EXPECT_EQ(m_Supervisor.TickAccumulator(), 900);
    Ticks(1);
    EXPECT_EQ(m_Supervisor.TickAccumulator(), 0);
    EXPECT_EQ(NewLogLines(), (Lines{"Set (0) in listen mode for IP port 5000",
                                    "Trying to connect (1)", "Opened (2) port COM3"}));
    EXPECT_EQ(m_View.PortColumn(0, View::ColumnStatus), "Waiting for connection at port 5000");
    EXPECT_EQ(m_View.PortColumn(1, View::ColumnStatus), "Disconnected from 10.0.0.5:4001");
    EXPECT_EQ(m_View.PortColumn(2, View::ColumnStatus), "Connected to COM3 (COM3,9600,N,8,1)");
    EXPECT_EQ(m_View.StatusPanel(1), "Connected to Zorvan 10.0.0.2:50000");
}

TEST_F(SupervisionTest, FailingListenAndOpenAreRetriedAndLoggedEverySecond) {
    TcpServer(0, 5000);
    Com(1, 7);
    m_Listeners[0].m_ListenError = "Address already in use";
    m_Serials[1].m_OpenError = "No such device";
    Seconds(3);
    const Lines failing = {"Could not set socket in listen mode: Address already in use for port 0",
                           "Bad server/client configuration for port 1"};
    EXPECT_EQ(NewLogLines(),
              (Lines{failing[0], failing[1], failing[0], failing[1], failing[0], failing[1]}));
    // Held at 0 however long the failure lasts.
    EXPECT_EQ(m_Gateway.m_Runtime[0].ReconnectCountdown, 0);
    // The trace keeps the reason the event-log line leaves out.
    EXPECT_EQ(m_View.m_Lines.front(), "10:31:05 COM7 not opened: No such device");
    EXPECT_EQ(m_View.PortColumn(0, View::ColumnStatus), "Connection at port 5000 is closed");

    m_Listeners[0].m_ListenError.clear();
    m_Serials[1].m_OpenError.clear();
    Seconds(5);
    EXPECT_EQ(NewLogLines(),
              (Lines{"Set (0) in listen mode for IP port 5000", "Opened (1) port COM7"}));
    EXPECT_EQ(m_Gateway.m_Runtime[0].ReconnectCountdown, 30000);
}

TEST_F(SupervisionTest, PortLostLaterIsAttemptedAgainOneIntervalAfterLastSeenGood) {
    m_Gateway.m_General.ReconnectInterval = 5000;
    Com(0, 1);
    Seconds(3);
    m_Serials[0].m_Open = false;
    Seconds(4);
    EXPECT_EQ(m_Serials[0].m_OpenCalls, 1);
    Seconds(1);
    EXPECT_EQ(m_Serials[0].m_OpenCalls, 2);
}

TEST_F(SupervisionTest, ClientReconnectsEveryReconnectInterval) {
    struct Row {
        int32_t m_Interval;
        std::vector<int> m_AttemptSeconds;
    };
    for (const Row& row : {Row{30000, {1, 31, 61}}, Row{0, {1, 2, 3, 4}}, Row{2500, {1, 4, 7}}}) {
        SCOPED_TRACE(row.m_Interval);
        m_Data[1] = FakeSocket{};
        m_Gateway.m_Runtime[1] = PortRuntime{};
        m_Gateway.m_General.ReconnectInterval = row.m_Interval;
        TcpClient(1);
        std::vector<int> attempts;
        for (int second = 1; second <= row.m_AttemptSeconds.back(); ++second) {
            const int before = m_Data[1].m_ConnectCalls;
            Seconds(1);
            if (m_Data[1].m_ConnectCalls != before) {
                attempts.push_back(second);
            }
        }
        EXPECT_EQ(attempts, row.m_AttemptSeconds);
        // The attempt in progress is closed before the next one starts.
        EXPECT_EQ(m_Data[1].m_CloseCalls, m_Data[1].m_ConnectCalls);
    }
}

TEST_F(SupervisionTest, PortsCloseWhileTheAlarmServerIsAwayAndReopenWhenItReturns) {
    m_Gateway.m_General.CloseESPAPortsWhenZorvanIsNotRunningOrActive = true;
    TcpServer(0, 5000);
    TcpClient(1);
    Com(2, 3);
    Seconds(1);
    m_Data[0].m_State = Socket::StateConnected;
    m_Data[1].m_State = Socket::StateConnected;
    NewLogLines();

    SetAlarmServerPresent(false);
    Seconds(3);
    EXPECT_EQ(NewLogLines(), (Lines{"Disabled listen connection (0)", "Disconnected connection (1)",
                                    "Closed (2) port COM3"}));
    EXPECT_EQ(m_Listeners[0].State(), Socket::StateClosed);
    EXPECT_EQ(m_Data[0].State(), Socket::StateClosed);
    EXPECT_EQ(m_Data[1].State(), Socket::StateClosed);
    EXPECT_FALSE(m_Serials[2].PortOpen());
    EXPECT_EQ(m_View.StatusPanel(1), "Waiting for Zorvan connection at port 14000");

    SetAlarmServerPresent(true);
    Seconds(1);
    EXPECT_EQ(NewLogLines(), (Lines{"Set (0) in listen mode for IP port 5000",
                                    "Trying to connect (1)", "Opened (2) port COM3"}));
}

TEST_F(SupervisionTest, WithTheSettingOffPortsStayAndPollSupervisionPauses) {
    m_Gateway.m_Ports[0].PollFailTimeout = 5000;
    Com(0, 3);
    Seconds(2);
    SetAlarmServerPresent(false);
    Seconds(10);
    EXPECT_TRUE(m_Serials[0].PortOpen());
    EXPECT_EQ(m_Gateway.m_Runtime[0].PollFailElapsed, 2000);
    EXPECT_EQ(NewLogLines(), Lines{"Opened (0) port COM3"});
}

// Presence checks ask the library often; looking for a missing library is
// kept to one try per second, with its reason in the trace.
TEST_F(SupervisionTest, AMissingVendorLibraryIsLookedForOnceASecond) {
    m_Gateway.m_General.ZorvanConnectionMethod = ZorvanMethodLibrary2;
    m_Gateway.m_General.CloseESPAPortsWhenZorvanIsNotRunningOrActive = true;
    m_Zorvan2.m_Fail = true;
    TcpServer(0, 4001);
    Seconds(3);
    EXPECT_EQ(m_Zorvan2.m_LoadCalls, 3);
    EXPECT_GE(m_Zorvan2.m_Questions.size(), 6U);
    EXPECT_EQ(m_View.m_Lines.front(), "10:31:05 Zorvan2.dll not loaded: not found");
}

class PollFailureTest : public SupervisionTest {
  protected:
    PollFailureTest() {
        m_Gateway.m_General.ESPATimeout = 0;
        m_Alarms.m_Through = nullptr;
        Com(4, 2);
        m_Gateway.m_Ports[4].Description = "Ward 3";
        m_Gateway.m_Ports[4].PollFailedCategory = "Pager";
    }
    // The second (1-based) at which each recorded alarm was raised, by ticking
    // second by second.
    std::vector<int> AlarmSeconds(int seconds) {
        std::vector<int> raised;
        for (int second = 1; second <= seconds; ++second) {
            const size_t before = m_Alarms.m_Alarms.size();
            Seconds(1);
            if (m_Alarms.m_Alarms.size() != before) {
                raised.push_back(second);
            }
        }
        return raised;
    }
};

TEST_F(PollFailureTest, FailureAlarmAfterTimeoutThenReminders) {
    struct Row {
        int32_t m_Timeout;
        int32_t m_Remind;
        int m_Run;  // seconds
        std::vector<int> m_Seconds;
        const char* m_Within;
    };
    const std::vector<Row> rows = {
        {60000, 600, 1260, {60, 660, 1260}, "60 s"},
        {2500, 0, 9, {3}, "2.5 s"},
        {2000, 3, 9, {2, 5, 8}, "2 s"},
        {0, 3, 9, {}, ""},
        {-1000, 3, 9, {}, ""},
    };
    const std::string port = "ESPA Connection 'Ward 3' (4) ";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.m_Timeout);
        m_Alarms.m_Alarms.clear();
        m_Gateway.m_Runtime[4] = PortRuntime{};
        m_Gateway.m_Ports[4].PollFailTimeout = row.m_Timeout;
        m_Gateway.m_Ports[4].PollFailRemindTime = row.m_Remind;
        EXPECT_EQ(AlarmSeconds(row.m_Run), row.m_Seconds);
        for (size_t k = 0; k < m_Alarms.m_Alarms.size(); ++k) {
            const std::string text =
                k == 0 ? port + "have failed (no events within " + row.m_Within + ")"
                       : port + "is still bad (cyclic " + std::to_string(row.m_Remind) +
                             " s reminder)";
            EXPECT_EQ(m_Alarms.m_Alarms[k].m_State, 1);
            EXPECT_EQ(m_Alarms.m_Alarms[k].m_Fields,
                      (AlarmFields{"Ward 3", "", "Pager", "", text, ""}));
        }
    }
}

// A server port without a partner (port 0) never times out.
class ESPATimeoutTest : public SupervisionTest {
  protected:
    ESPATimeoutTest() {
        m_Gateway.m_General.ESPATimeout = 20000;
        TcpServer(0, 5000);
        TcpClient(1);
        m_Data[1].m_State = Socket::StateConnected;
        Seconds(1);
        NewLogLines();
        m_Gateway.m_Runtime[1].ESPAIdleTime = 0;
    }
};

TEST_F(ESPATimeoutTest, SilentPartnerFailsAfterTimeoutAndRepeatsWithoutSecondLine) {
    m_Gateway.m_Runtime[1].ReceiveBuffer = "\x15garbage";
    Ticks(199);
    EXPECT_TRUE(NewLogLines().empty());
    EXPECT_FALSE(m_Gateway.m_Runtime[1].ReceiveBuffer.empty());
    Ticks(1);
    EXPECT_EQ(NewLogLines(), Lines{"ESPA communication (1) failed"});
    EXPECT_TRUE(m_Gateway.m_Runtime[1].ReceiveBuffer.empty());
    EXPECT_TRUE(m_Gateway.m_Runtime[1].CommFailed);
    EXPECT_EQ(m_Data[1].State(), Socket::StateConnected);

    m_Gateway.m_Runtime[1].ReceiveBuffer = "more";
    Ticks(200);
    EXPECT_TRUE(NewLogLines().empty());
    EXPECT_TRUE(m_Gateway.m_Runtime[1].ReceiveBuffer.empty());
    EXPECT_EQ(m_Gateway.m_Runtime[0].ESPAIdleTime, 0);
}

TEST_F(ESPATimeoutTest, ClosesTheSocketWhenSoConfigured) {
    m_Gateway.m_General.CloseESPAPortIfCommunicationFails = true;
    Ticks(200);
    EXPECT_EQ(NewLogLines(), (Lines{"ESPA communication (1) failed",
                                    "Closing socket due to ESPA communication (1) failure"}));
    EXPECT_EQ(m_Data[1].State(), Socket::StateClosed);
}

TEST_F(SupervisionTest, ComPortClosedWhileAlarmServerAwayStillTimesOut) {
    m_Gateway.m_General.CloseESPAPortsWhenZorvanIsNotRunningOrActive = true;
    SetAlarmServerPresent(false);
    Com(3, 1);
    Ticks(199);
    EXPECT_TRUE(NewLogLines().empty());
    Ticks(1);
    EXPECT_EQ(NewLogLines(), Lines{"ESPA communication (3) failed"});
    EXPECT_EQ(m_Serials[3].m_OpenCalls, 0);
}

TEST_F(SupervisionTest, BufferedAlarmsGoOutOnTheNextTickAndWatchdogEveryThirdSecond) {
    m_Gateway.m_General.WatchDogInterval = 2500;
    m_Gateway.m_General.WatchDogTagName = "WD";
    SetAlarmServerPresent(false);
    m_Link.SendAlarm(1, {"a", "", "", "", "", ""});
    m_Link.SendAlarm(1, {"b", "", "", "", "", ""});
    Ticks(5);
    SetAlarmServerPresent(true);
    Ticks(1);
    EXPECT_EQ(m_ZorvanData.m_SendCalls, (Lines{"1|||a|||||\n", "1|||b|||||\n"}));
    m_ZorvanData.m_SendCalls.clear();
    Ticks(23);
    EXPECT_TRUE(m_ZorvanData.m_SendCalls.empty());
    Ticks(1);
    EXPECT_EQ(m_ZorvanData.m_SendCalls, Lines{"1|||WD\n\n"});
    Ticks(59);
    EXPECT_EQ(m_ZorvanData.m_SendCalls.size(), 2U);
    Ticks(1);
    EXPECT_EQ(m_ZorvanData.m_SendCalls.size(), 3U);
    // Two alarms and three watchdogs, each counted without the line feed.
    EXPECT_EQ(m_Link.ZorvanTxBytes(), 2 * 10 + 3 * 7);
}

}  // namespace
}  // namespace tw
