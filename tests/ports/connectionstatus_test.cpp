#include "ports/connectionstatus.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "support/gatewayfixture.h"

namespace tw {
namespace {

using test::GatewayFixture;

TEST(ConnectionStatusTest, StatusTextFollowsKindAndTransportState) {
    struct Row {
        const char* m_Expected;
        std::function<void(GatewayFixture&)> m_Setup;
    };
    const std::vector<Row> rows = {
        {"Waiting for connection at port 5000",
         [](GatewayFixture& f) {
             f.TcpServer(0, 5000);
             f.m_Listeners[0].m_State = Socket::StateListening;
         }},
        {"Connected to 10.0.0.7:40001",
         [](GatewayFixture& f) {
             f.TcpServer(0, 5000);
             f.m_Listeners[0].m_State = Socket::StateListening;
             f.m_Data[0].m_State = Socket::StateConnected;
             f.m_Data[0].m_RemoteHostIP = "10.0.0.7";
             f.m_Data[0].m_RemotePort = 40001;
         }},
        {"Connection at port 5000 is closed", [](GatewayFixture& f) { f.TcpServer(0, 5000); }},
        {"Disconnected from 192.168.1.20:2000",
         [](GatewayFixture& f) {
             f.TcpClient(0, "192.168.1.20", 2000);
             f.m_Data[0].m_State = 6;  // connecting
         }},
        {"Connected to pager.local:2000",
         [](GatewayFixture& f) {
             f.TcpClient(0, "pager.local", 2000);
             f.m_Data[0].m_RemoteHostIP = "10.1.1.1";
             f.m_Data[0].m_State = Socket::StateConnected;
         }},
        {"Connected to COM3 (COM3,9600,N,8,1)", [](GatewayFixture& f) { f.Com(0, 3); }},
        {"", [](GatewayFixture& f) { f.m_View.AddPortRow(0, "unused"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.m_Expected);
        GatewayFixture f;
        row.m_Setup(f);
        f.m_View.SetPortColumn(0, View::ColumnStatus, "previous");
        ShowTCPConnectionState(f.m_Gateway, 0);
        EXPECT_EQ(f.m_View.PortColumn(0, View::ColumnStatus), row.m_Expected);
    }
}

TEST(ConnectionStatusTest, WritesTheColumnOnlyWhenTheTextChanges) {
    GatewayFixture f;
    f.TcpServer(0, 5000);
    ShowTCPConnectionState(f.m_Gateway, 0);
    ShowTCPConnectionState(f.m_Gateway, 0);
    EXPECT_EQ(f.m_View.StatusWrites(0), 1);
    f.m_Listeners[0].m_State = Socket::StateListening;
    ShowTCPConnectionState(f.m_Gateway, 0);
    EXPECT_EQ(f.m_View.StatusWrites(0), 2);
}

TEST(ConnectionStatusTest, LeavesPortsWithoutRowAlone) {
    GatewayFixture f;
    f.m_Gateway.m_Ports[1].PortKind = PortKindCom;
    ShowTCPConnectionState(f.m_Gateway, 1);
    EXPECT_FALSE(f.m_View.HasPortRow(1));
}

TEST(ConnectionStatusTest, TotalsColumnsShowCallsNaksAndTheLastCallsLocalTime) {
    GatewayFixture f;
    f.TcpServer(0, 5000);
    ShowPortTotals(f.m_Gateway, 0);
    ShowPortTotals(f.m_Gateway, 1);  // no row: left alone
    EXPECT_EQ(f.m_View.PortColumn(0, View::ColumnLastCall), "");
    EXPECT_EQ(f.m_View.PortColumn(0, View::ColumnCalls), "0");

    PortTotals& totals = f.m_Gateway.m_Runtime[0].Totals;
    totals.Calls = 4294967296ULL;
    totals.Naks = 3;
    totals.LastCallUnixSeconds = MakeLocalTime(2019, 5, 26, 23, 59, 58).UnixSeconds;
    ShowPortTotals(f.m_Gateway, 0);
    EXPECT_EQ(f.m_View.PortColumn(0, View::ColumnLastCall), "2019-05-26 23:59:58");
    EXPECT_EQ(f.m_View.PortColumn(0, View::ColumnCalls), "4294967296");
    EXPECT_EQ(f.m_View.PortColumn(0, View::ColumnNaks), "3");
    EXPECT_FALSE(f.m_View.HasPortRow(1));
}

}  // namespace
}  // namespace tw
