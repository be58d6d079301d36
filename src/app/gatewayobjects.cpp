#include "app/gatewayobjects.h"

#include "app/version.h"
#include "base/hostfilter.h"

namespace tw {

GatewayObjects::GatewayObjects(const std::string& appFolder, View& view)
    : m_LogFolder(appFolder, "LogFiles"),
      m_Settings(appFolder),
      m_Journal(appFolder + kAlarmJournalFileName),
      m_Zorvan2(appFolder, VendorLibraryFileName(ZorvanMethodLibrary2)),
      m_Zorvan3(appFolder, VendorLibraryFileName(ZorvanMethodLibrary3)),
      m_View(view, m_TraceFeed),
      m_Gateway([&] {
          GatewayWiring wiring = Wiring();
          wiring.m_View = &m_View;
          return wiring;
      }()),
      m_Timer(
          [this] {
              m_Supervisor.Timer_Update_Timer();
              if (m_AfterTick) {
                  m_AfterTick();
              }
          },
          Supervisor::kUpdateInterval,
          [this](const std::string& what) {
              m_Gateway.WriteEventLog("Supervision tick failed (" + what + "), ticking on");
          }),
      m_StatusReport(m_Gateway, m_Link, kProgramVersion, m_Clock.Now().UnixSeconds) {
    m_Relay.m_Link = &m_Link;
    m_Settings.WatchLogFolder(m_LogFolder);
    m_ZorvanConnect.SetEvents(&m_Link.ListenerEvents());
    m_ZorvanData.SetEvents(&m_Link.DataEvents());
    m_TransportEvents.Attach();
}

GatewayWiring GatewayObjects::Wiring() {
    GatewayWiring wiring;
    for (int port = 0; port < kPortCount; ++port) {
        wiring.MSComm[port] = &m_MSComm[port];
        wiring.Winsock_Connect[port] = &m_WinsockConnect[port];
        wiring.Winsock_Data[port] = &m_WinsockData[port];
    }
    wiring.Winsock_Zorvan_Connect = &m_ZorvanConnect;
    wiring.Winsock_Zorvan_Data = &m_ZorvanData;
    wiring.Zorvan2 = &m_Zorvan2;
    wiring.Zorvan3 = &m_Zorvan3;
    wiring.m_Clock = &m_Clock;
    wiring.m_Settings = &m_Settings;
    wiring.m_LogFolder = &m_LogFolder;
    wiring.m_Alarms = &m_Relay;
    return wiring;
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

void GatewayObjects::StartStatusServer() {
    const GeneralSettings& general = m_Gateway.m_General;
    if (general.StatusPort == 0) {
        return;
    }
    m_StatusServer = std::make_unique<StatusServer>(m_StatusReport, m_TraceFeed,
                                                    [this](const std::string& line) {
                                                        m_Gateway.BeginEvent();
                                                        m_Gateway.WriteEventLog(line);
                                                    });
    const std::string where = HostAndPort(general.StatusListenAddress, general.StatusPort);
    std::string error;
    const bool listening = m_StatusServer->Listen(general.StatusListenAddress, general.StatusPort,
                                                  general.StatusAllowedHosts, error);
    m_Gateway.BeginEvent();
    if (listening) {
        m_Gateway.WriteEventLog("Status server listening on " + where);
    } else {
        m_Gateway.WriteEventLog("Could not start the status server on " + where +
                                ", err: " + error);
        m_StatusServer.reset();
    }
}

void GatewayObjects::SetComDevice(int16_t port, const std::string& path) {
    if (port >= 0 && port < kPortCount) {
        m_MSComm[port].SetDevice(path);
    }
}

}  // namespace tw
