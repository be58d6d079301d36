#include "platform/gatewayobjects.h"

#include "shell/ini.h"

namespace tw {

GatewayObjects::GatewayObjects(View& view)
    : m_EventLog(AppFolder() + "LogFiles/", m_Clock),
      m_Timer([this] { m_Supervisor.Timer_Update_Timer(); }, Supervisor::kUpdateInterval) {
    for (int port = 0; port < kPortCount; ++port) {
        m_Gateway.MSComm[port] = &m_MSComm[port];
        m_Gateway.Winsock_Connect[port] = &m_WinsockConnect[port];
        m_Gateway.Winsock_Data[port] = &m_WinsockData[port];
    }
    m_Gateway.Winsock_Zorvan_Connect = &m_ZorvanConnect;
    m_Gateway.Winsock_Zorvan_Data = &m_ZorvanData;
    m_Gateway.Zorvan2 = &m_Zorvan2;
    m_Gateway.Zorvan3 = &m_Zorvan3;
    m_Gateway.m_EventLog = &m_EventLog;
    m_Gateway.m_View = &view;
    m_Gateway.m_Clock = &m_Clock;
    m_Gateway.m_Alarms = &m_Link;
    m_ZorvanConnect.SetEvents(&m_Link.ListenerEvents());
    m_ZorvanData.SetEvents(&m_Link.DataEvents());
    m_TransportEvents.Attach();
}

GatewayObjects::~GatewayObjects() {
    m_Timer.Stop();
    m_ZorvanConnect.SetEvents(nullptr);
    m_ZorvanData.SetEvents(nullptr);
    for (int port = 0; port < kPortCount; ++port) {
        m_MSComm[port].SetEvents(nullptr);
        m_WinsockConnect[port].SetEvents(nullptr);
        m_WinsockData[port].SetEvents(nullptr);
    }
}

void GatewayObjects::SetComDevice(int16_t port, const std::string& path) {
    if (port >= 0 && port < kPortCount) {
        m_MSComm[port].SetDevice(path);
    }
}

}  // namespace tw
