// The whole gateway in this process, wired as the program wires it, on real
// loopback sockets, a pseudo-terminal and the stand-in alarm-server library.
// The partners are sockets driven by the test; the calls through the built
// program to an alarm server on TCP are the end-to-end tests' business.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "app/gatewayobjects.h"
#include "app/startup.h"
#include "integration/eventloop.h"
#include "support/dialogue.h"
#include "support/fakeservice.h"
#include "support/loopback.h"
#include "support/pseudoterminal.h"
#include "support/standin.h"
#include "support/tempfolder.h"
#include "ui/memoryview.h"

namespace tw::test {
namespace {

const std::string kCall = CallDialogue("123", "HELLO");

class GatewayTest : public ::testing::Test {
  protected:
    void Start(const std::string& ini) {
        m_Folder.Write("Tellwick.ini", ini);
        m_Objects = std::make_unique<GatewayObjects>(m_Folder.Path(), m_View);
        StartupEdge edge{
            m_Service, m_Messages, m_Window,
            [this](int16_t port, const std::string& path) { m_Objects->SetComDevice(port, path); }};
        ASSERT_TRUE(StartGateway(m_Objects->GetGateway(), m_Objects->Link(), edge, false));
        m_Objects->StartTimer();
    }

    void PlaceStandIn(const std::string& name) const {
        std::filesystem::copy_file(std::string(TW_STANDIN_DIR) + name, m_Folder.Path() + name);
    }

    bool LogShows(const std::string& text) const {
        return WaitUntil([&] { return m_Folder.EventLogs().find(text) != std::string::npos; });
    }
    bool StandInReceives(const std::string& command) const {
        return WaitUntil(
            [&] { return m_Folder.Read("commands.log") == StandInLog::Record(command); });
    }

    TempFolder m_Folder;
    StandInLog m_StandIn{m_Folder.Path()};
    MemoryView m_View;
    FakeService m_Service;
    StreamMessageBoxes m_Messages{std::cerr};
    NoStartupWindow m_Window;
    std::unique_ptr<GatewayObjects> m_Objects;
};

TEST_F(GatewayTest, TcpClientPortConnectsOutAndAgainAfterThePartnerRestarts) {
    const int partnerPort = FreePort();
    QTcpServer partner;
    ASSERT_TRUE(partner.listen(QHostAddress::LocalHost, static_cast<quint16>(partnerPort)));
    const std::string address = "127.0.0.1:" + std::to_string(partnerPort);
    Start("[General]\nReconnectInterval=1\n[ESPA_Port_1]\nPortType=TCPC\nRemoteAddress=" + address +
          "\n");
    EXPECT_TRUE(LogShows("Created socked client for IP " + address + "\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return partner.hasPendingConnections(); }));
    EXPECT_TRUE(LogShows("Trying to connect (1)"));
    EXPECT_TRUE(LogShows("Connection (1) was established to " + address));

    std::unique_ptr<QTcpSocket> first(partner.nextPendingConnection());
    partner.close();
    first->close();
    ASSERT_TRUE(LogShows("Connection (1) was closed"));
    ASSERT_TRUE(partner.listen(QHostAddress::LocalHost, static_cast<quint16>(partnerPort)));
    EXPECT_TRUE(WaitUntil([&] { return partner.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> second(partner.nextPendingConnection());
}

TEST_F(GatewayTest, ComPortCallReachesTheGeneration2Library) {
    PseudoTerminal line;
    ASSERT_FALSE(line.m_SlaveName.empty());
    PlaceStandIn("Zorvan2.dll");
    Start(
        "[General]\nZorvanConnectionMethod=0\nESPACategory=ESPA\n[ESPA_Port_2]\nDescription=Panel\n"
        "PortType=COM\nComSetting=COM1,9600,N,8,1,0\nComDevice=" +
        line.m_SlaveName + "\n");
    ASSERT_TRUE(LogShows("Opened (2) port COM1"));
    ASSERT_TRUE(line.Write(kCall));
    EXPECT_TRUE(StandInReceives("TA:1|||Panel||ESPA||HELLO|"));
    std::string answer;
    EXPECT_TRUE(WaitUntil([&] {
        answer += line.ReadWaiting();
        return answer.size() >= kCallAnswer.size();
    }));
    EXPECT_EQ(answer, kCallAnswer);
}

TEST_F(GatewayTest, Generation3LibraryGetsTheSevenMarkerBytes) {
    const int listenPort = FreePort();
    PlaceStandIn("Zorvan3.dll");
    Start(
        "[General]\nZorvanConnectionMethod=1\n[ESPA_Port_0]\nDescription=W\nPortType=TCPS\n"
        "ListenPort=" +
        std::to_string(listenPort) + "\n");
    EXPECT_EQ(m_View.StatusPanel(1), "Zorvan 3 is running");
    RawSocket partner;
    ASSERT_TRUE(WaitUntil([&] { return partner.Connect(listenPort, 0); }));  // from the first pass
    partner.Send(kCall);
    EXPECT_TRUE(WaitUntil([&] { return partner.ReadAvailable() == kCallAnswer; }));
    EXPECT_TRUE(StandInReceives("SA:1" + std::string(7, '\xFE') + "1|||W||||HELLO|"));
}

}  // namespace
}  // namespace tw::test
