#include "ports/connectionstatus.h"

#include <string>

namespace tw {
namespace {

std::string TcpServerText(const Socket& listener, const Socket& data) {
    if (data.State() == Socket::StateConnected) {
        return "Connected to " + Endpoint(data.RemoteHostIP(), data.RemotePort());
    }
    const std::string localPort = std::to_string(listener.LocalPort());
    if (listener.State() == Socket::StateListening) {
        return "Waiting for connection at port " + localPort;
    }
    return "Connection at port " + localPort + " is closed";
}

std::string TcpClientText(const Socket& data) {
    const std::string partner = Endpoint(data.RemoteHost(), data.RemotePort());
    if (data.State() == Socket::StateConnected) {
        return "Connected to " + partner;
    }
    return "Disconnected from " + partner;
}

// The status text from the port's kind; kind 0 gives the empty text.
std::string StatusText(const Gateway& gateway, int16_t port) {
    switch (gateway.m_Ports[port].PortKind) {
        case PortKindTcpServer:
            return TcpServerText(*gateway.Winsock_Connect[port], *gateway.Winsock_Data[port]);
        case PortKindTcpClient:
            return TcpClientText(*gateway.Winsock_Data[port]);
        case PortKindCom:
            // Shown whether the device is open or not.
            return "Connected to COM" + std::to_string(gateway.MSComm[port]->CommPort()) + " (" +
                   gateway.m_Ports[port].ComSetting + ")";
        default:
            return {};
    }
}

}  // namespace

void ShowTCPConnectionState(Gateway& gateway, int16_t port) {
    View& view = gateway.m_View;
    if (port < 0 || port >= kPortCount || !view.HasPortRow(port)) {
        return;
    }
    const std::string text = StatusText(gateway, port);
    if (view.PortColumn(port, View::ColumnStatus) != text) {
        view.SetPortColumn(port, View::ColumnStatus, text);
    }
}

bool PortIsUp(const Gateway& gateway, int16_t port) {
    switch (gateway.m_Ports[port].PortKind) {
        case PortKindTcpServer:
            return gateway.Winsock_Data[port]->State() == Socket::StateConnected ||
                   gateway.Winsock_Connect[port]->State() == Socket::StateListening;
        case PortKindTcpClient:
            return gateway.Winsock_Data[port]->State() == Socket::StateConnected;
        case PortKindCom:
            return gateway.MSComm[port]->PortOpen();
        default:
            return false;
    }
}

void ShowPortTotals(Gateway& gateway, int16_t port) {
    View& view = gateway.m_View;
    if (port < 0 || port >= kPortCount || !view.HasPortRow(port)) {
        return;
    }
    const PortTotals& totals = gateway.m_Runtime[port].Totals;
    const std::string calls = std::to_string(totals.Calls);
    const std::string naks = std::to_string(totals.Naks);
    // The last call changes only with the count of calls.
    if (view.PortColumn(port, View::ColumnCalls) == calls &&
        view.PortColumn(port, View::ColumnNaks) == naks) {
        return;
    }
    view.SetPortColumn(port, View::ColumnLastCall, StampText(gateway, totals.LastCallUnixSeconds));
    view.SetPortColumn(port, View::ColumnCalls, calls);
    view.SetPortColumn(port, View::ColumnNaks, naks);
}

std::string StampText(const Gateway& gateway, int64_t unixSeconds) {
    return unixSeconds == 0 ? std::string() : FormatDateTime(gateway.m_Clock.At(unixSeconds));
}

}  // namespace tw
