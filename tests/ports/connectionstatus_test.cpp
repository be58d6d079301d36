#include "ports/connectionstatus.h"

#include <gtest/gtest.h>

#include "support/gatewayfixture.h"

namespace tw {
namespace {

using test::GatewayFixture;

// The texts for each kind and state are shown where the supervision and the
// transport events refresh them (supervision_test, transports_test).
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

TEST(ConnectionStatusTest, TotalsColumnsShowCallsNaksAndTheLastCallsLocalTime) {
    GatewayFixture f;
    f.TcpServer(0, 5000);
    ShowPortTotals(f.m_Gateway, 0);
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
}

}  // namespace
}  // namespace tw
