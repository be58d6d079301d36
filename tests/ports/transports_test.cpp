#include "ports/transports.h"

#include <gtest/gtest.h>

#include "support/fakeclock.h"
#include "support/fakes.h"
#include "support/tempfolder.h"

namespace tw {
namespace {

using test::FakeSerial;
using test::FakeSocket;

const std::string kCall = "\x01" "1\x02" "1\x1f" "123\x1e" "2\x1f" "HELLO\x03\x5f";

class TransportsTest : public ::testing::Test {
protected:
    TransportsTest() {
        m_Gateway.m_Clock = &m_Clock;
        m_Gateway.m_View = &m_View;
        m_Gateway.m_EventLog = &m_Log;
        m_Gateway.m_Alarms = &m_Alarms;
        m_Gateway.m_Ports[0].PortKind = PortKindTcpServer;
        m_Gateway.m_Ports[0].Description = "Ward 3";
        m_Gateway.m_Ports[1].PortKind = PortKindTcpClient;
        m_Gateway.m_Ports[2].PortKind = PortKindCom;
        for (int16_t port = 0; port < 3; ++port) {
            m_Gateway.Winsock_Connect[port] = &m_Listener[port];
            m_Gateway.Winsock_Data[port] = &m_Data[port];
            m_Gateway.MSComm[port] = &m_Serial[port];
            m_View.AddPortRow(port, "row");
        }
        m_Events.Attach();
    }

    std::string Log() const { return m_Folder.Read("LogFiles/20190527.Log"); }

    test::TempFolder m_Folder;
    test::FakeClock m_Clock;
    EventLog m_Log{m_Folder.Path() + "LogFiles/", m_Clock};
    MemoryView m_View;
    test::RecordingAlarms m_Alarms;
    FakeSocket m_Listener[3];
    FakeSocket m_Data[3];
    FakeSerial m_Serial[3];
    Gateway m_Gateway;
    PortTransportEvents m_Events{m_Gateway};
};

TEST_F(TransportsTest, AcceptsAPartnerAndPassesItsCallOn) {
    m_Listener[0].m_State = Socket::StateListening;
    m_Listener[0].m_LocalPort = 5000;
    m_Listener[0].m_RemoteHostIP = "10.0.0.7";
    m_Listener[0].m_RemotePort = 40001;
    m_Data[0].m_RemoteHostIP = "10.0.0.7";
    m_Data[0].m_RemotePort = 40001;
    m_Gateway.m_Runtime[0].ReceiveBuffer = "stale";
    m_Listener[0].m_Events->OnConnectionRequest(17);
    EXPECT_EQ(m_Data[0].m_AcceptedIds, std::vector<int64_t>{17});
    EXPECT_TRUE(m_Gateway.m_Runtime[0].ReceiveBuffer.empty());
    EXPECT_EQ(m_View.PortColumn(0, View::ColumnStatus), "Connected to 10.0.0.7:40001");
    m_Data[0].Arrive(kCall);
    EXPECT_EQ(m_Data[0].m_Sent, "\x06");
    ASSERT_EQ(m_Alarms.m_Alarms.size(), 1U);
    EXPECT_EQ(m_Alarms.m_Alarms[0].m_Fields[4], "HELLO");
    EXPECT_NE(Log().find("Connection (0) accepted from 10.0.0.7:40001\r\n"), std::string::npos);
}

TEST_F(TransportsTest, ASecondPartnerIsRefusedAndTheFirstKeepsItsInput) {
    m_Data[0].m_State = Socket::StateConnected;
    m_Listener[0].m_RemoteHostIP = "10.0.0.8";
    m_Listener[0].m_RemotePort = 40002;
    m_Data[0].Arrive(kCall.substr(0, 5));
    m_Listener[0].m_Events->OnConnectionRequest(18);
    EXPECT_TRUE(m_Data[0].m_AcceptedIds.empty());
    EXPECT_EQ(m_Data[0].m_CloseCalls, 0);
    EXPECT_NE(Log().find("Connection (0) refused connection from 10.0.0.8:40002 (already connected)"),
              std::string::npos);
    EXPECT_EQ(Log().find("accepted"), std::string::npos);
    m_Data[0].Arrive(kCall.substr(5));
    EXPECT_EQ(m_Data[0].m_Sent, "\x06");
}

TEST_F(TransportsTest, AHostOutsideAllowedHostsIsRefusedWithoutDisturbingThePartner) {
    std::string badEntry;
    m_Gateway.m_Ports[0].AllowedHosts = *ParseHostFilter("10.0.0.0/24, ::1", badEntry);
    m_Data[0].m_State = Socket::StateConnected;
    m_Data[0].Arrive(kCall.substr(0, 5));
    m_Listener[0].m_RemoteHostIP = "10.1.2.3";
    m_Listener[0].m_RemotePort = 40001;
    m_Listener[0].m_Events->OnConnectionRequest(19);
    EXPECT_TRUE(m_Data[0].m_AcceptedIds.empty());
    EXPECT_EQ(m_Data[0].m_CloseCalls, 0);
    EXPECT_EQ(m_Gateway.m_Runtime[0].ReceiveBuffer, kCall.substr(0, 5));
    EXPECT_NE(Log().find("Connection (0) refused connection from 10.1.2.3:40001 (not in "
                         "AllowedHosts)\r\n"),
              std::string::npos);

    // Once the partner has gone, a listed host is taken as before.
    m_Data[0].m_State = Socket::StateClosed;
    m_Listener[0].m_RemoteHostIP = "::ffff:10.0.0.7";
    m_Listener[0].m_Events->OnConnectionRequest(20);
    EXPECT_EQ(m_Data[0].m_AcceptedIds, std::vector<int64_t>{20});
}

TEST_F(TransportsTest, CloseConnectAndErrorAreLoggedAfterTheStatusRefresh) {
    m_Data[1].m_State = Socket::StateConnected;
    m_Data[1].m_RemoteHost = "pager.local";
    m_Data[1].m_RemotePort = 2000;
    m_Data[1].m_Events->OnConnect();
    EXPECT_EQ(m_View.PortColumn(1, View::ColumnStatus), "Connected to pager.local:2000");
    m_Data[1].m_Events->OnClose();
    // The row still shows the closing socket; the next pass brings it up to date.
    EXPECT_EQ(m_View.PortColumn(1, View::ColumnStatus), "Connected to pager.local:2000");
    EXPECT_EQ(m_Data[1].m_State, Socket::StateClosed);
    m_Data[1].m_Events->OnError(10061, "Connection refused");
    EXPECT_EQ(m_View.PortColumn(1, View::ColumnStatus), "Disconnected from pager.local:2000");
    EXPECT_NE(Log().find("Connection (1) was established to pager.local:2000\r\n"),
              std::string::npos);
    EXPECT_NE(Log().find("Connection (1) was closed\r\n"), std::string::npos);
    EXPECT_NE(Log().find("Connection (1) failed (Connection refused)\r\n"), std::string::npos);
}

TEST_F(TransportsTest, SerialEventsOtherThanReceiveOrWithoutBytesDoNothing) {
    m_Serial[2].m_Open = true;
    m_Serial[2].m_CommEvent = 3;
    m_Serial[2].m_Pending = kCall;
    m_Serial[2].m_Events->OnComm();
    EXPECT_EQ(m_Gateway.m_Runtime[2].RxBytes, 0);
    m_Serial[2].m_Pending.clear();
    m_Serial[2].m_CommEvent = Serial::CommEventReceive;
    m_Serial[2].m_Events->OnComm();
    EXPECT_EQ(m_Gateway.m_Runtime[2].RxBytes, 0);
    m_Serial[2].m_FailInput = true;
    m_Serial[2].Arrive("\x01");
    EXPECT_EQ(m_Gateway.m_Runtime[2].RxBytes, 0);
    m_Serial[2].m_FailInput = false;
    m_Serial[2].Arrive(std::string("\x00\x80\xff", 3) + kCall);
    EXPECT_EQ(m_Gateway.m_Runtime[2].RxBytes, 4 + static_cast<int32_t>(kCall.size()));
}

}  // namespace
}  // namespace tw
