#include "espa/transmit.h"

#include "base/counters.h"
#include "espa/trace.h"

namespace tw {
namespace {

// Traces text and hands it to the port's transport; false when the port has
// no connected socket or open line, in which case nothing happened.
bool TraceAndWrite(Gateway& gateway, int16_t port, const std::string& text) {
    switch (gateway.m_Ports[port].PortKind) {
        case PortKindTcpServer:
        case PortKindTcpClient: {
            Socket* socket = gateway.Winsock_Data[port];
            if (socket->State() != Socket::StateConnected) {
                return false;
            }
            WriteCommTrace(gateway, port, text, TraceTransmit);
            socket->SendData(text);  // a failed send is neither reported nor retried
            return true;
        }
        case PortKindCom: {
            Serial* line = gateway.MSComm[port];
            if (!line->PortOpen()) {
                return false;
            }
            WriteCommTrace(gateway, port, text, TraceTransmit);
            if (!text.empty()) {
                line->Output(text);  // as above
            }
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

void SendESPA(Gateway& gateway, int16_t port, const std::string& text) {
    if (!TraceAndWrite(gateway, port, text)) {
        return;
    }
    gateway.m_Runtime[port].Totals.TxBytes += text.size();
    int32_t& count = gateway.m_Runtime[port].TxBytes;
    count = AddByteCount(count, static_cast<int64_t>(text.size()));
    gateway.m_View.SetPortColumn(port, View::ColumnTxBytes, std::to_string(count));
}

}  // namespace tw
