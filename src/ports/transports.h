// The transport callbacks of the ESPA ports: what happens when a serial line
// or a TCP socket of port i reports data, a connection request, a connect, a
// close or an error. All run on the event loop, one at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "core/gateway.h"

namespace tw {

void MSComm_OnComm(Gateway& gateway, int16_t port);
void Winsock_Data_DataArrival(Gateway& gateway, int16_t port, int64_t bytesTotal);
void Winsock_Connect_ConnectionRequest(Gateway& gateway, int16_t port, int64_t requestId);
void Winsock_Data_Connect(Gateway& gateway, int16_t port);
void Winsock_Data_Close(Gateway& gateway, int16_t port);
void Winsock_Data_Error(Gateway& gateway, int16_t port, int32_t number,
                        const std::string& description);

// Binds the events of every port's three transport objects to the callbacks
// above. Lives as long as the objects it is attached to.
class PortTransportEvents {
  public:
    explicit PortTransportEvents(Gateway& gateway);
    ~PortTransportEvents();
    PortTransportEvents(const PortTransportEvents&) = delete;
    PortTransportEvents& operator=(const PortTransportEvents&) = delete;

    // Calls SetEvents on every transport object of the gateway.
    void Attach();

  private:
    class ListenerEvents;
    class DataEvents;
    class SerialLineEvents;

    Gateway& m_Gateway;
    std::array<std::unique_ptr<ListenerEvents>, kPortCount> m_Listeners;
    std::array<std::unique_ptr<DataEvents>, kPortCount> m_Data;
    std::array<std::unique_ptr<SerialLineEvents>, kPortCount> m_Serial;
};

}  // namespace tw
