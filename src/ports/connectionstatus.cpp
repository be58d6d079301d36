#include "ports/connectionstatus.h"

#include <optional>
#include <string>

namespace tw {
namespace {

std::string Endpoint(const std::string& host, int32_t port) {
    return host + ":" + std::to_string(port);
}

std::optional<std::string> TcpServerText(const Socket* listener, const Socket* data) {
    if (listener == nullptr || data == nullptr) {
        return std::nullopt;
    }
    if (data->State() == Socket::StateConnected) {
        return "Connected to " + Endpoint(data->RemoteHostIP(), data->RemotePort());
    }
    const std::string localPort = std::to_string(listener->LocalPort());
    if (listener->State() == Socket::StateListening) {
        return "Waiting for connection at port " + localPort;
    }
    return "Connection at port " + localPort + " is closed";
}

std::optional<std::string> TcpClientText(const Socket* data) {
    if (data == nullptr) {
        return std::nullopt;
    }
    const std::string partner = Endpoint(data->RemoteHost(), data->RemotePort());
    if (data->State() == Socket::StateConnected) {
        return "Connected to " + partner;
    }
    return "Disconnected from " + partner;
}

// The status text from the port's kind; nullopt when an object the text
// needs is missing. Kind 0 gives the empty text.
std::optional<std::string> StatusText(const Gateway& gateway, int16_t port) {
    switch (gateway.m_Ports[port].PortKind) {
        case PortKindTcpServer:
            return TcpServerText(gateway.Winsock_Connect[port], gateway.Winsock_Data[port]);
        case PortKindTcpClient:
            return TcpClientText(gateway.Winsock_Data[port]);
        case PortKindCom:
            if (gateway.MSComm[port] == nullptr) {
                return std::nullopt;
            }
            // Shown whether the device is open or not.
            return "Connected to COM" + std::to_string(gateway.MSComm[port]->CommPort()) + " (" +
                   gateway.m_Ports[port].ComSetting + ")";
        default:
            return std::string();
    }
}

}  // namespace

void ShowTCPConnectionState(Gateway& gateway, int16_t port) {
    View* view = gateway.m_View;
    if (view == nullptr || port < 0 || port >= kPortCount || !view->HasPortRow(port)) {
        return;
    }
    const auto text = StatusText(gateway, port);
    if (!text.has_value() || view->PortColumn(port, View::ColumnStatus) == *text) {
        return;
    }
    view->SetPortColumn(port, View::ColumnStatus, *text);
}

}  // namespace tw
