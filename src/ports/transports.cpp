#include "ports/transports.h"

#include "base/hostfilter.h"
#include "espa/linklayer.h"
#include "ports/connectionstatus.h"

namespace tw {
namespace {

// A connection line, unless the port's lines are flooding the log.
void LogConnection(Gateway& gateway, int16_t port, const std::string& text) {
    gateway.WriteConnectionLine(gateway.m_Runtime[port].ConnectionLog, PortLabel(port) + text);
}

}  // namespace

void MSComm_OnComm(Gateway& gateway, int16_t port) {
    Serial& serial = *gateway.MSComm[port];
    if (serial.CommEvent() != Serial::CommEventReceive || serial.InBufferCount() == 0) {
        return;
    }
    const std::optional<std::string> bytes = serial.Input();
    if (!bytes) {
        return;
    }
    HandleReceivedESPA(gateway, port, *bytes);
}

void Winsock_Data_DataArrival(Gateway& gateway, int16_t port, int64_t /*bytesTotal*/) {
    HandleReceivedESPA(gateway, port, gateway.Winsock_Data[port]->GetData());
}

void Winsock_Connect_ConnectionRequest(Gateway& gateway, int16_t port, int64_t requestId) {
    Socket& listener = *gateway.Winsock_Connect[port];
    Socket& data = *gateway.Winsock_Data[port];
    const std::string peer = Endpoint(listener.RemoteHostIP(), listener.RemotePort());
    // Checked first: a refused host must not disturb the port's partner.
    if (!IsHostAllowed(gateway.m_Ports[port].AllowedHosts, listener.RemoteHostIP())) {
        LogConnection(gateway, port, " refused connection from " + peer + " (not in AllowedHosts)");
        return;
    }
    if (data.State() == Socket::StateConnected) {
        // The port already has its partner: the newcomer is not taken over (the
        // listener closes a request nobody accepts) and the partner's partly
        // received input stays.
        LogConnection(gateway, port, " refused connection from " + peer + " (already connected)");
        return;
    }
    data.Close();
    gateway.m_Runtime[port].ReceiveBuffer.clear();
    if (data.Accept(requestId)) {
        LogConnection(gateway, port, " accepted from " + peer);
    } else {
        LogConnection(gateway, port, " could not accept connection from " + peer);
    }
    ShowTCPConnectionState(gateway, port);
}

void Winsock_Data_Connect(Gateway& gateway, int16_t port) {
    ShowTCPConnectionState(gateway, port);
    const Socket& data = *gateway.Winsock_Data[port];
    LogConnection(gateway, port,
                  " was established to " + Endpoint(data.RemoteHost(), data.RemotePort()));
}

void Winsock_Data_Close(Gateway& gateway, int16_t port) {
    ShowTCPConnectionState(gateway, port);
    gateway.Winsock_Data[port]->Close();
    LogConnection(gateway, port, " was closed");
}

void Winsock_Data_Error(Gateway& gateway, int16_t port, int32_t /*number*/,
                        const std::string& description) {
    ShowTCPConnectionState(gateway, port);
    gateway.Winsock_Data[port]->Close();
    LogConnection(gateway, port, " failed (" + description + ")");
}

// The adapters start every event with Gateway::BeginEvent.
class PortTransportEvents::ListenerEvents : public SocketEvents {
  public:
    ListenerEvents(Gateway& gateway, int16_t port) : m_Gateway(gateway), m_Port(port) {}
    void OnConnectionRequest(int64_t requestId) override {
        m_Gateway.BeginEvent();
        Winsock_Connect_ConnectionRequest(m_Gateway, m_Port, requestId);
    }

  private:
    Gateway& m_Gateway;
    int16_t m_Port;
};

class PortTransportEvents::DataEvents : public SocketEvents {
  public:
    DataEvents(Gateway& gateway, int16_t port) : m_Gateway(gateway), m_Port(port) {}
    void OnDataArrival(int64_t bytesTotal) override {
        m_Gateway.BeginEvent();
        Winsock_Data_DataArrival(m_Gateway, m_Port, bytesTotal);
    }
    void OnConnect() override {
        m_Gateway.BeginEvent();
        Winsock_Data_Connect(m_Gateway, m_Port);
    }
    void OnClose() override {
        m_Gateway.BeginEvent();
        Winsock_Data_Close(m_Gateway, m_Port);
    }
    void OnError(int32_t number, const std::string& description) override {
        m_Gateway.BeginEvent();
        Winsock_Data_Error(m_Gateway, m_Port, number, description);
    }

  private:
    Gateway& m_Gateway;
    int16_t m_Port;
};

class PortTransportEvents::SerialLineEvents : public SerialEvents {
  public:
    SerialLineEvents(Gateway& gateway, int16_t port) : m_Gateway(gateway), m_Port(port) {}
    void OnComm() override {
        m_Gateway.BeginEvent();
        MSComm_OnComm(m_Gateway, m_Port);
    }

  private:
    Gateway& m_Gateway;
    int16_t m_Port;
};

PortTransportEvents::PortTransportEvents(Gateway& gateway) : m_Gateway(gateway) {
    for (int16_t port = 0; port < kPortCount; ++port) {
        m_Listeners[port] = std::make_unique<ListenerEvents>(gateway, port);
        m_Data[port] = std::make_unique<DataEvents>(gateway, port);
        m_Serial[port] = std::make_unique<SerialLineEvents>(gateway, port);
    }
}

PortTransportEvents::~PortTransportEvents() = default;

void PortTransportEvents::Attach() {
    for (int16_t port = 0; port < kPortCount; ++port) {
        m_Gateway.Winsock_Connect[port]->SetEvents(m_Listeners[port].get());
        m_Gateway.Winsock_Data[port]->SetEvents(m_Data[port].get());
        m_Gateway.MSComm[port]->SetEvents(m_Serial[port].get());
    }
}

}  // namespace tw
