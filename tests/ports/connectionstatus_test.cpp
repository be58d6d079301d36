#include "ports/connectionstatus.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "support/fakes.h"

namespace tw {
namespace {

using test::FakeSerial;
using test::FakeSocket;

struct StatusFixture {
    StatusFixture() {
        m_Gateway.m_View = &m_View;
        m_Gateway.Winsock_Connect[0] = &m_Listener;
        m_Gateway.Winsock_Data[0] = &m_Data;
        m_Gateway.MSComm[0] = &m_Serial;
        m_View.AddPortRow(0, "Ward 3");
    }
    MemoryView m_View;
    FakeSocket m_Listener;
    FakeSocket m_Data;
    FakeSerial m_Serial;
    Gateway m_Gateway;
};

TEST(ConnectionStatusTest, StatusTextFollowsKindAndTransportState) {
    struct Row {
        const char* m_Expected;
        int16_t m_Kind;
        std::function<void(StatusFixture&)> m_Setup;
    };
    const std::vector<Row> rows = {
        {"Waiting for connection at port 5000", PortKindTcpServer,
         [](StatusFixture& f) {
             f.m_Listener.m_LocalPort = 5000;
             f.m_Listener.m_State = Socket::StateListening;
         }},
        {"Connected to 10.0.0.7:40001", PortKindTcpServer,
         [](StatusFixture& f) {
             f.m_Listener.m_State = Socket::StateListening;
             f.m_Data.m_State = Socket::StateConnected;
             f.m_Data.m_RemoteHostIP = "10.0.0.7";
             f.m_Data.m_RemotePort = 40001;
         }},
        {"Connection at port 5000 is closed", PortKindTcpServer,
         [](StatusFixture& f) { f.m_Listener.m_LocalPort = 5000; }},
        {"Disconnected from 192.168.1.20:2000", PortKindTcpClient,
         [](StatusFixture& f) {
             f.m_Data.m_RemoteHost = "192.168.1.20";
             f.m_Data.m_RemotePort = 2000;
             f.m_Data.m_State = 6;
         }},
        {"Connected to pager.local:2000", PortKindTcpClient,
         [](StatusFixture& f) {
             f.m_Data.m_RemoteHost = "pager.local";
             f.m_Data.m_RemoteHostIP = "10.1.1.1";
             f.m_Data.m_RemotePort = 2000;
             f.m_Data.m_State = Socket::StateConnected;
         }},
        {"Connected to COM3 (COM3,9600,N,8,1,0)", PortKindCom,
         [](StatusFixture& f) { f.m_Serial.m_CommPort = 3; }},
        {"", PortKindNone, [](StatusFixture&) {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.m_Expected);
        StatusFixture f;
        f.m_Gateway.m_Ports[0].PortKind = row.m_Kind;
        f.m_Gateway.m_Ports[0].ComSetting = "COM3,9600,N,8,1,0";
        f.m_View.SetPortColumn(0, View::ColumnStatus, "previous");
        row.m_Setup(f);
        ShowTCPConnectionState(f.m_Gateway, 0);
        EXPECT_EQ(f.m_View.PortColumn(0, View::ColumnStatus), row.m_Expected);
    }
}

TEST(ConnectionStatusTest, WritesTheColumnOnlyWhenTheTextChanges) {
    StatusFixture f;
    f.m_Gateway.m_Ports[0].PortKind = PortKindTcpServer;
    f.m_Listener.m_LocalPort = 5000;
    ShowTCPConnectionState(f.m_Gateway, 0);
    ShowTCPConnectionState(f.m_Gateway, 0);
    EXPECT_EQ(f.m_View.StatusWrites(0), 1);
    f.m_Listener.m_State = Socket::StateListening;
    ShowTCPConnectionState(f.m_Gateway, 0);
    EXPECT_EQ(f.m_View.StatusWrites(0), 2);
}

TEST(ConnectionStatusTest, LeavesPortsWithoutRowOrTransportAlone) {
    StatusFixture f;
    f.m_Gateway.m_Ports[1].PortKind = PortKindCom;
    f.m_Gateway.MSComm[1] = &f.m_Serial;
    ShowTCPConnectionState(f.m_Gateway, 1);
    EXPECT_FALSE(f.m_View.HasPortRow(1));

    f.m_Gateway.m_Ports[0].PortKind = PortKindTcpClient;
    f.m_Gateway.Winsock_Data[0] = nullptr;
    ShowTCPConnectionState(f.m_Gateway, 0);
    EXPECT_EQ(f.m_View.StatusWrites(0), 0);
}

}  // namespace
}  // namespace tw
