#include "espa/transmit.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/fakeclock.h"
#include "support/fakes.h"
#include "support/tempfolder.h"

namespace tw {
namespace {

class TraceLines : public MemoryView {
  public:
    void AddDebugLine(const std::string& line) override { m_Lines.push_back(line); }
    std::vector<std::string> m_Lines;
};

// Notes how many trace lines existed when the text reached the socket.
class OrderSocket : public test::FakeSocket {
  public:
    explicit OrderSocket(const TraceLines& view) : m_View(view) {}
    bool SendData(const std::string& text) override {
        m_TraceLinesAtSend = m_View.m_Lines.size();
        return FakeSocket::SendData(text);
    }
    const TraceLines& m_View;
    size_t m_TraceLinesAtSend = 0;
};

class TransmitTest : public ::testing::Test {
  protected:
    static constexpr int16_t kPort = 4;

    TransmitTest() {
        m_Gateway.m_Clock = &m_Clock;
        m_Gateway.m_View = &m_View;
        m_Gateway.Winsock_Data[kPort] = &m_Socket;
        m_Gateway.MSComm[kPort] = &m_Serial;
        m_View.AddPortRow(kPort, "Ward 3");
        m_View.SetPortColumn(kPort, View::ColumnTxBytes, "untouched");
    }

    test::TempFolder m_Folder;
    test::FakeClock m_Clock;
    TraceLines m_View;
    OrderSocket m_Socket{m_View};
    test::FakeSerial m_Serial;
    Gateway m_Gateway;
};

TEST_F(TransmitTest, SendsTracesAndCountsOnlyOverAReadyTransport) {
    struct Row {
        const char* name;
        int16_t kind;
        int16_t socketState;
        bool serialOpen;
        std::string text;
        int32_t txBefore;
        std::string sentOnSocket;
        std::vector<std::string> writtenOnLine;
        int32_t txAfter;
        const char* column;
        size_t traceLines;
    };
    const std::string block =
        "\x01"
        "2\x02\xe4\xff\x03\x1b";
    const Row rows[] = {
        {"TCP server connected",
         PortKindTcpServer,
         Socket::StateConnected,
         false,
         "\x06",
         10,
         "\x06",
         {},
         11,
         "11",
         1},
        {"TCP client connected, codes above 127 unchanged",
         PortKindTcpClient,
         Socket::StateConnected,
         false,
         block,
         0,
         block,
         {},
         7,
         "7",
         1},
        {"TCP listening only",
         PortKindTcpServer,
         Socket::StateListening,
         false,
         "\x06",
         10,
         "",
         {},
         10,
         "untouched",
         0},
        {"COM open",
         PortKindCom,
         Socket::StateConnected,
         true,
         "1\x05",
         3,
         "",
         {"1\x05"},
         5,
         "5",
         1},
        {"COM open, empty text rewrites the column",
         PortKindCom,
         0,
         true,
         "",
         3,
         "",
         {},
         3,
         "3",
         0},
        {"COM closed", PortKindCom, 0, false, "\x06", 3, "", {}, 3, "untouched", 0},
        {"no port",
         PortKindNone,
         Socket::StateConnected,
         true,
         "\x06",
         3,
         "",
         {},
         3,
         "untouched",
         0},
        {"count above 65535 goes back to 0",
         PortKindTcpServer,
         Socket::StateConnected,
         false,
         "\x04",
         65535,
         "\x04",
         {},
         0,
         "0",
         1},
        {"count reaching 65535 stays",
         PortKindCom,
         0,
         true,
         "\x04",
         65534,
         "",
         {"\x04"},
         65535,
         "65535",
         1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_Gateway.m_Ports[kPort].PortKind = row.kind;
        m_Socket.m_State = row.socketState;
        m_Socket.m_Sent.clear();
        m_Serial.m_Open = row.serialOpen;
        m_Serial.m_OutputCalls.clear();
        m_View.m_Lines.clear();
        m_View.SetPortColumn(kPort, View::ColumnTxBytes, "untouched");
        m_Gateway.m_Runtime[kPort].TxBytes = row.txBefore;

        SendESPA(m_Gateway, kPort, row.text);

        EXPECT_EQ(m_Socket.m_Sent, row.sentOnSocket);
        EXPECT_EQ(m_Serial.m_OutputCalls, row.writtenOnLine);
        EXPECT_EQ(m_Gateway.m_Runtime[kPort].TxBytes, row.txAfter);
        EXPECT_EQ(m_View.PortColumn(kPort, View::ColumnTxBytes), row.column);
        EXPECT_EQ(m_View.m_Lines.size(), row.traceLines);
    }
}

TEST_F(TransmitTest, TracesBeforeSendingAndCountsAFailedSend) {
    m_Gateway.m_Ports[kPort].PortKind = PortKindTcpClient;
    m_Socket.m_State = Socket::StateConnected;
    SendESPA(m_Gateway, kPort, "\x06");
    EXPECT_EQ(m_Socket.m_TraceLinesAtSend, 1U);
    EXPECT_EQ(m_View.m_Lines.back(), "10:31:05 Tx -> 4: <ACK>");

    m_Socket.m_FailSend = true;
    SendESPA(m_Gateway, kPort, "\x04");
    EXPECT_EQ(m_Gateway.m_Runtime[kPort].TxBytes, 2);
    EXPECT_EQ(m_View.m_Lines.size(), 2U);
}

TEST_F(TransmitTest, AnEmptyTextIsStillTracedToTheFile) {
    m_Folder.Write("Tellwick.ini", "[General]\nCommDebug=1\n");
    m_Gateway.m_Ports[kPort].PortKind = PortKindCom;
    m_Serial.m_Open = true;
    SendESPA(m_Gateway, kPort, "");
    EXPECT_EQ(m_Folder.Read("LogFiles/CommDebug.Log"), "10:31:05 Tx -> 4: \r\n");
}

}  // namespace
}  // namespace tw
