#include "espa/transmit.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/gatewayfixture.h"
#include "wire.h"

namespace tw {
namespace {

using test::Wire;

class TransmitTest : public ::testing::Test, public test::GatewayFixture {
  protected:
    static constexpr int16_t kPort = 4;

    TransmitTest() {
        // Notes how many trace lines existed when the text reached the socket.
        m_Socket.m_BeforeSend = [this](const std::string&) {
            m_TraceLinesAtSend = m_View.m_Lines.size();
        };
        m_View.AddPortRow(kPort, "Ward 3");
    }

    test::FakeSocket& m_Socket = m_Data[kPort];
    size_t m_TraceLinesAtSend = 0;
    test::FakeSerial& m_Serial = m_Serials[kPort];
};

TEST_F(TransmitTest, SendsTracesAndCountsOnlyOverAReadyTransport) {
    struct Row {
        const char* name;
        int16_t kind;
        bool ready;        // socket connected (else listening), line open (else closed)
        const char* text;  // as the trace writes it
        int32_t txBefore;
        bool goesOut;
        int32_t txAfter;
        const char* column;
    };
    const Row rows[] = {
        {"TCP server", PortKindTcpServer, true, "<ACK>", 10, true, 11, "11"},
        {"TCP client, codes above 127 unchanged", PortKindTcpClient, true,
         "<SOH>2<STX><228><255><ETX><ESC>", 0, true, 7, "7"},
        {"TCP listening only", PortKindTcpServer, false, "<ACK>", 10, false, 10, "untouched"},
        {"COM open", PortKindCom, true, "1<ENQ>", 3, true, 5, "5"},
        {"COM open, empty text rewrites the column", PortKindCom, true, "", 3, true, 3, "3"},
        {"COM closed", PortKindCom, false, "<ACK>", 3, false, 3, "untouched"},
        {"no port", PortKindNone, true, "<ACK>", 3, false, 3, "untouched"},
        {"count above 65535 goes back to 0", PortKindTcpClient, true, "<EOT>", 65535, true, 0, "0"},
        {"count reaching 65535 stays", PortKindCom, true, "<EOT>", 65534, true, 65535, "65535"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string text = Wire(row.text);
        const bool tcp = row.kind == PortKindTcpServer || row.kind == PortKindTcpClient;
        m_Gateway.m_Ports[kPort].PortKind = row.kind;
        m_Socket.m_State = row.ready ? Socket::StateConnected : Socket::StateListening;
        m_Socket.m_Sent.clear();
        m_Serial.m_Open = row.ready;
        m_Serial.m_OutputCalls.clear();
        m_View.m_Lines.clear();
        m_View.SetPortColumn(kPort, View::ColumnTxBytes, "untouched");
        m_Gateway.m_Runtime[kPort].TxBytes = row.txBefore;

        SendESPA(m_Gateway, kPort, text);

        const bool onLine = row.goesOut && !tcp && !text.empty();
        EXPECT_EQ(m_Socket.m_Sent, row.goesOut && tcp ? text : "");
        EXPECT_EQ(m_Serial.m_OutputCalls,
                  onLine ? std::vector<std::string>{text} : std::vector<std::string>{});
        EXPECT_EQ(m_Gateway.m_Runtime[kPort].TxBytes, row.txAfter);
        EXPECT_EQ(m_View.PortColumn(kPort, View::ColumnTxBytes), row.column);
        EXPECT_EQ(m_View.m_Lines.size(), row.goesOut && !text.empty() ? 1U : 0U);
    }
}

TEST_F(TransmitTest, TracesBeforeSendingAndCountsOnlyWhatWasHandedOver) {
    m_Gateway.m_Ports[kPort].PortKind = PortKindTcpClient;
    m_Socket.m_State = Socket::StateConnected;
    SendESPA(m_Gateway, kPort, Wire("<ACK>"));
    EXPECT_EQ(m_TraceLinesAtSend, 1U);
    EXPECT_EQ(m_View.m_Lines.back(), "10:31:05 Tx -> 4: <ACK>");

    m_Socket.m_FailSend = true;
    SendESPA(m_Gateway, kPort, Wire("<EOT>"));
    EXPECT_EQ(m_Gateway.m_Runtime[kPort].TxBytes, 1);
    EXPECT_EQ(m_View.m_Lines.size(), 2U);
    EXPECT_EQ(m_Socket.m_CloseCalls, 0);  // an error is the error event's business
}

// A held line's dropped replies are logged once an episode.
TEST_F(TransmitTest, AReaderThatDoesNotReadIsClosedAndAHeldLineDropsReplies) {
    m_Gateway.m_Ports[kPort].PortKind = PortKindTcpServer;
    m_Socket.m_State = Socket::StateConnected;
    m_Socket.m_BytesToWrite = 65536;
    SendESPA(m_Gateway, kPort, Wire("<EOT>"));
    EXPECT_EQ(m_Socket.State(), Socket::StateClosed);
    EXPECT_EQ(m_Gateway.m_Runtime[kPort].TxBytes, 0);

    m_Gateway.m_Ports[kPort].PortKind = PortKindCom;
    m_Serial.m_Open = true;
    m_Serial.m_RefuseOutput = true;
    for (int reply = 0; reply < 3; ++reply) {
        SendESPA(m_Gateway, kPort, Wire("<ACK>"));
    }
    m_Serial.m_RefuseOutput = false;
    SendESPA(m_Gateway, kPort, Wire("<ACK>"));
    m_Serial.m_RefuseOutput = true;
    SendESPA(m_Gateway, kPort, Wire("<ACK>"));
    EXPECT_EQ(m_Gateway.m_Runtime[kPort].TxBytes, 1);
    EXPECT_EQ(LogLines(),
              (test::Lines{"Connection (4) closed: the partner does not read its replies",
                           "Connection (4) drops replies: the serial line does not take them",
                           "Connection (4) drops replies: the serial line does not take them"}));
}

}  // namespace
}  // namespace tw
