#include "ports/transports.h"

#include <gtest/gtest.h>

#include "ports/supervision.h"
#include "support/dialogue.h"
#include "support/gatewayfixture.h"

namespace tw {
namespace {

const std::string kCall = test::CallDialogue("123", "HELLO");

class TransportsTest : public ::testing::Test, public test::GatewayFixture {
  protected:
    TransportsTest() {
        TcpServer(0, 5000);
        TcpClient(1, "pager.local", 2000);
        Com(2, 1);
        m_Events.Attach();
    }

    PortTransportEvents m_Events{m_Gateway};
};

TEST_F(TransportsTest, AcceptsAPartnerAndPassesItsCallOnAfterLoggingOneItCouldNotTake) {
    m_Listeners[0].m_State = Socket::StateListening;
    m_Listeners[0].m_RemoteHostIP = "10.0.0.7";
    m_Listeners[0].m_RemotePort = 40001;
    m_Data[0].m_RemoteHostIP = "10.0.0.7";
    m_Data[0].m_RemotePort = 40001;
    m_Data[0].m_RefuseAccept = true;
    m_Listeners[0].m_Events->OnConnectionRequest(16);
    m_Data[0].m_RefuseAccept = false;
    m_Gateway.m_Runtime[0].ReceiveBuffer = "stale";
    m_Listeners[0].m_Events->OnConnectionRequest(17);
    EXPECT_EQ(m_Data[0].m_AcceptedIds, (std::vector<int64_t>{16, 17}));
    EXPECT_TRUE(m_Gateway.m_Runtime[0].ReceiveBuffer.empty());
    EXPECT_EQ(m_View.PortColumn(0, View::ColumnStatus), "Connected to 10.0.0.7:40001");
    m_Data[0].Arrive(kCall);
    EXPECT_EQ(m_Data[0].m_Sent, test::kCallAnswer);
    ASSERT_EQ(m_Alarms.m_Alarms.size(), 1U);
    EXPECT_EQ(m_Alarms.m_Alarms[0].m_Fields[4], "HELLO");
    EXPECT_EQ(
        LogLines(),
        (test::Lines{"Connection (0) could not accept connection from 10.0.0.7:40001",
                     "Connection (0) accepted from 10.0.0.7:40001", "Got ESPA message: HELLO"}));
}

// A second partner, or a host outside AllowedHosts, is refused without
// disturbing the connected one.
TEST_F(TransportsTest, ARefusedPartnerLeavesTheConnectedOneAndItsInputAlone) {
    std::string badEntry;
    m_Gateway.m_Ports[0].AllowedHosts = *ParseHostFilter("10.0.0.0/24, ::1", badEntry);
    m_Data[0].m_State = Socket::StateConnected;
    m_Data[0].Arrive(kCall.substr(0, 5));
    m_Listeners[0].m_RemotePort = 40001;
    for (const char* host : {"10.0.0.8", "10.1.2.3"}) {
        m_Listeners[0].m_RemoteHostIP = host;
        m_Listeners[0].m_Events->OnConnectionRequest(19);
    }
    EXPECT_TRUE(m_Data[0].m_AcceptedIds.empty());
    EXPECT_EQ(m_Data[0].m_CloseCalls, 0);
    EXPECT_EQ(m_Gateway.m_Runtime[0].ReceiveBuffer, kCall.substr(2, 3));  // after the selection
    EXPECT_EQ(LogLines(), (test::Lines{"Connection (0) refused connection from 10.0.0.8:40001 "
                                       "(already connected)",
                                       "Connection (0) refused connection from 10.1.2.3:40001 "
                                       "(not in AllowedHosts)"}));
    m_Data[0].Arrive(kCall.substr(5));
    EXPECT_EQ(m_Data[0].m_Sent, test::kCallAnswer);

    // Once the partner has gone, a listed host is taken as before.
    m_Data[0].m_State = Socket::StateClosed;
    m_Listeners[0].m_RemoteHostIP = "::ffff:10.0.0.7";
    m_Listeners[0].m_Events->OnConnectionRequest(20);
    EXPECT_EQ(m_Data[0].m_AcceptedIds, std::vector<int64_t>{20});
}

TEST_F(TransportsTest, CloseConnectAndErrorAreLoggedAfterTheStatusRefresh) {
    m_Data[1].m_State = Socket::StateConnected;
    m_Data[1].m_Events->OnConnect();
    EXPECT_EQ(m_View.PortColumn(1, View::ColumnStatus), "Connected to pager.local:2000");
    m_Data[1].m_Events->OnClose();
    // The row still shows the closing socket; the next pass brings it up to date.
    EXPECT_EQ(m_View.PortColumn(1, View::ColumnStatus), "Connected to pager.local:2000");
    EXPECT_EQ(m_Data[1].m_State, Socket::StateClosed);
    m_Data[1].m_Events->OnError(10061, "Connection refused");
    EXPECT_EQ(m_View.PortColumn(1, View::ColumnStatus), "Disconnected from pager.local:2000");
    EXPECT_EQ(LogLines(), (test::Lines{"Connection (1) was established to pager.local:2000",
                                       "Connection (1) was closed",
                                       "Connection (1) failed (Connection refused)"}));
}

TEST_F(TransportsTest, SerialEventsOtherThanReceiveOrWithoutBytesDoNothing) {
    m_Serials[2].m_Open = true;
    m_Serials[2].m_CommEvent = 3;
    m_Serials[2].m_Pending = kCall;
    m_Serials[2].m_Events->OnComm();
    EXPECT_EQ(m_Gateway.m_Runtime[2].RxBytes, 0);
    m_Serials[2].m_Pending.clear();
    m_Serials[2].m_CommEvent = Serial::CommEventReceive;
    m_Serials[2].m_Events->OnComm();
    EXPECT_EQ(m_Gateway.m_Runtime[2].RxBytes, 0);
    m_Serials[2].m_FailInput = true;
    m_Serials[2].Arrive("\x01");
    EXPECT_EQ(m_Gateway.m_Runtime[2].RxBytes, 0);
    m_Serials[2].m_FailInput = false;
    m_Serials[2].Arrive(std::string("\x00\x80\xff", 3) + kCall);
    EXPECT_EQ(m_Gateway.m_Runtime[2].RxBytes, 4 + static_cast<int32_t>(kCall.size()));
}

// 10,000 refused connections within a minute: the first 10 lines, then one
// line that counts the rest when the minute is over.
TEST_F(TransportsTest, AConnectionStormWritesTenLinesAndOneSumAMinute) {
    std::string badEntry;
    m_Gateway.m_Ports[0].AllowedHosts = *ParseHostFilter("10.0.0.0/24", badEntry);
    m_Listeners[0].m_RemoteHostIP = "10.9.9.9";
    m_Listeners[0].m_RemotePort = 40001;
    AlarmLink link(m_Gateway);
    Supervisor supervisor(m_Gateway, link);
    for (int second = 0; second < 60; ++second) {
        for (int request = 0; request < 10000 / 60; ++request) {
            m_Listeners[0].m_Events->OnConnectionRequest(request);
        }
        for (int tick = 0; tick < 10; ++tick) {
            supervisor.Timer_Update_Timer();
        }
    }
    test::Lines lines;
    for (const std::string& line : LogLines()) {
        if (line.rfind("Connection (0)", 0) == 0) {
            lines.push_back(line);
        }
    }
    ASSERT_EQ(lines.size(), 11U);
    EXPECT_EQ(lines[9],
              "Connection (0) refused connection from 10.9.9.9:40001 (not in AllowedHosts)");
    EXPECT_EQ(lines[10], "Connection (0): 9950 more connection events in the last minute");
}

}  // namespace
}  // namespace tw
