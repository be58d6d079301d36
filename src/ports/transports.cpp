#include "ports/transports.h"

#include "espa/linklayer.h"
#include "ports/connectionstatus.h"
#include "shell/hostfilter.h"

namespace tw {
namespace {

std::string PortLabel(int16_t port) {
    return "Connection (" + std::to_string(port) + ")";
}

}  // namespace

void MSComm_OnComm(Gateway& gateway, int16_t port) {
    Serial* serial = gateway.MSComm[port];
    if (serial == nullptr || serial->CommEvent() != Serial::CommEventReceive ||
        serial->InBufferCount() == 0) {
        return;
    }
    const std::optional<std::string> bytes = serial->Input();
    if (!bytes) {
        return;
    }
    HandleReceivedESPA(gateway, port, *bytes);
}

void Winsock_Data_DataArrival(Gateway& gateway, int16_t port, int64_t /*bytesTotal*/) {
    Socket* data = gateway.Winsock_Data[port];
    HandleReceivedESPA(gateway, port, data != nullptr ? data->GetData() : std::string());
}

void Winsock_Connect_ConnectionRequest(Gateway& gateway, int16_t port, int64_t requestId) {
    Socket* listener = gateway.Winsock_Connect[port];
    Socket* data = gateway.Winsock_Data[port];
    if (listener == nullptr || data == nullptr) {
        return;
    }
    const std::string peer =
        listener->RemoteHostIP() + ":" + std::to_string(listener->RemotePort());
    // Checked first: a refused host must not disturb the port's partner.
    if (!IsHostAllowed(gateway.m_Ports[port].AllowedHosts, listener->RemoteHostIP())) {
        gateway.WriteEventLog(PortLabel(port) + " refused connection from " + peer +
                              " (not in AllowedHosts)");
        return;
    }
    if (data->State() == Socket::StateConnected) {
        // The port already has its partner: the newcomer is not taken over (the
        // listener closes a request nobody accepts) and the partner's partly
        // received input stays.
        gateway.WriteEventLog(PortLabel(port) + " refused connection from " + peer +
                              " (already connected)");
        return;
    }
    data->Close();
    gateway.m_Runtime[port].ReceiveBuffer.clear();
    data->Accept(requestId);
    gateway.WriteEventLog(PortLabel(port) + " accepted from " + peer);
    ShowTCPConnectionState(gateway, port);
}

void Winsock_Data_Connect(Gateway& gateway, int16_t port) {
    ShowTCPConnectionState(gateway, port);
    Socket* data = gateway.Winsock_Data[port];
    gateway.WriteEventLog(PortLabel(port) + " was established to " + data->RemoteHost() + ":" +
                          std::to_string(data->RemotePort()));
}

void Winsock_Data_Close(Gateway& gateway, int16_t port) {
    ShowTCPConnectionState(gateway, port);
    gateway.Winsock_Data[port]->Close();
    gateway.WriteEventLog(PortLabel(port) + " was closed");
}

void Winsock_Data_Error(Gateway& gateway, int16_t port, int32_t /*number*/,
                        const std::string& description) {
    ShowTCPConnectionState(gateway, port);
    gateway.Winsock_Data[port]->Close();
    gateway.WriteEventLog(PortLabel(port) + " failed (" + description + ")");
}

class PortTransportEvents::ListenerEvents : public SocketEvents {
  public:
    ListenerEvents(Gateway& gateway, int16_t port) : m_Gateway(gateway), m_Port(port) {}
    void OnConnectionRequest(int64_t requestId) override {
        Winsock_Connect_ConnectionRequest(m_Gateway, m_Port, requestId);
    }
    void OnDataArrival(int64_t /*bytesTotal*/) override {}
    void OnConnect() override {}
    void OnClose() override {}
    void OnError(int32_t /*number*/, const std::string& /*description*/) override {}

  private:
    Gateway& m_Gateway;
    int16_t m_Port;
};

class PortTransportEvents::DataEvents : public SocketEvents {
  public:
    DataEvents(Gateway& gateway, int16_t port) : m_Gateway(gateway), m_Port(port) {}
    void OnConnectionRequest(int64_t /*requestId*/) override {}
    void OnDataArrival(int64_t bytesTotal) override {
        Winsock_Data_DataArrival(m_Gateway, m_Port, bytesTotal);
    }
    void OnConnect() override { Winsock_Data_Connect(m_Gateway, m_Port); }
    void OnClose() override { Winsock_Data_Close(m_Gateway, m_Port); }
    void OnError(int32_t number, const std::string& description) override {
        Winsock_Data_Error(m_Gateway, m_Port, number, description);
    }

  private:
    Gateway& m_Gateway;
    int16_t m_Port;
};

class PortTransportEvents::SerialLineEvents : public SerialEvents {
  public:
    SerialLineEvents(Gateway& gateway, int16_t port) : m_Gateway(gateway), m_Port(port) {}
    void OnComm() override { MSComm_OnComm(m_Gateway, m_Port); }

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
        if (m_Gateway.Winsock_Connect[port] != nullptr) {
            m_Gateway.Winsock_Connect[port]->SetEvents(m_Listeners[port].get());
        }
        if (m_Gateway.Winsock_Data[port] != nullptr) {
            m_Gateway.Winsock_Data[port]->SetEvents(m_Data[port].get());
        }
        if (m_Gateway.MSComm[port] != nullptr) {
            m_Gateway.MSComm[port]->SetEvents(m_Serial[port].get());
        }
    }
}

}  // namespace tw
