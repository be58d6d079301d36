#include "espa/transmit.h"

#include "base/counters.h"
#include "espa/trace.h"

namespace tw {
namespace {

// A partner that does not read what it is sent would make its replies pile
// up without end: its connection is closed instead.
bool WriteToSocket(Gateway& gateway, int16_t port, const std::string& text) {
    Socket& socket = *gateway.Winsock_Data[port];
    if (socket.State() != Socket::StateConnected) {
        return false;
    }
    WriteCommTrace(gateway, port, text, TraceTransmit);
    if (socket.SendData(text)) {
        return true;
    }
    if (socket.BytesToWrite() > 0) {
        socket.Close();
        gateway.WriteEventLog(PortLabel(port) + " closed: the partner does not read its replies");
    }
    return false;
}

// A line that does not take the replies (flow control holding it) drops
// them, with one log line for each such episode.
bool WriteToLine(Gateway& gateway, int16_t port, const std::string& text) {
    Serial& line = *gateway.MSComm[port];
    if (!line.PortOpen()) {
        return false;
    }
    WriteCommTrace(gateway, port, text, TraceTransmit);
    PortRuntime& runtime = gateway.m_Runtime[port];
    if (text.empty() || line.Output(text)) {
        runtime.DroppingOutput = false;
        return true;
    }
    if (!runtime.DroppingOutput) {
        runtime.DroppingOutput = true;
        gateway.WriteEventLog(PortLabel(port) +
                              " drops replies: the serial line does not take them");
    }
    return false;
}

// Traces text and hands it to the port's transport; false when nothing was
// handed over (no connected socket or open line, or it refused the text).
bool TraceAndWrite(Gateway& gateway, int16_t port, const std::string& text) {
    switch (gateway.m_Ports[port].PortKind) {
        case PortKindTcpServer:
        case PortKindTcpClient:
            return WriteToSocket(gateway, port, text);
        case PortKindCom:
            return WriteToLine(gateway, port, text);
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
