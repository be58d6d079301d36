// Every object of the running gateway, wired as the program runs it: the
// clock, the settings source and the log folder, the transport objects of the
// eight ports and of the alarm-server link, both vendor libraries, the alarm
// link, the supervision cycle with its 100 ms timer, the transport events
// bound to their callbacks, and the status server with its trace feed. The
// program makes one; integration tests make one
// at a time. Everything lives on the thread of the Qt application object,
// which must exist first.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "alarmlink/alarmlink.h"
#include "base/logfolder.h"
#include "core/alarmjournalfile.h"
#include "core/gateway.h"
#include "platform/dlvendorlibrary.h"
#include "platform/inifilesource.h"
#include "platform/qtserial.h"
#include "platform/qtsocket.h"
#include "platform/statusserver.h"
#include "platform/systemclock.h"
#include "platform/ticktimer.h"
#include "ports/supervision.h"
#include "ports/transports.h"
#include "ui/statusreport.h"
#include "ui/tracefeed.h"

namespace tw {

class GatewayObjects {
  public:
    // appFolder: the folder of Tellwick.ini and LogFiles/, ending in "/".
    // view: the main window, or a MemoryView headless; must outlive this.
    GatewayObjects(const std::string& appFolder, View& view);
    ~GatewayObjects();
    GatewayObjects(const GatewayObjects&) = delete;
    GatewayObjects& operator=(const GatewayObjects&) = delete;

    Gateway& GetGateway() { return m_Gateway; }
    AlarmLink& Link() { return m_Link; }
    const LogFolder& Logs() const { return m_LogFolder; }
    // The alarm buffer's journal in the application folder; its file is
    // touched only once the alarm link keeps the buffer in it.
    AlarmJournal& Journal() { return m_Journal; }
    const Clock& GetClock() const { return m_Clock; }

    // The serial device of a COM port (empty: /dev/ttyS(n-1) for COMn).
    void SetComDevice(int16_t port, const std::string& path);

    // The supervision timer; the first once-a-second pass opens the ports.
    void StartTimer() { m_Timer.Start(); }
    void StopTimer() { m_Timer.Stop(); }
    // Runs after every tick that finished (the service's sign of life).
    void SetAfterTick(std::function<void()> afterTick) { m_AfterTick = std::move(afterTick); }

    // The status server, when StatusPort is set; call after the settings are
    // read. A failure to listen is logged and not tried again.
    void StartStatusServer();

  private:
    // The gateway's alarm output: the alarm link, which is built after the
    // gateway because it works on it.
    class LinkRelay : public AlarmOutput {
      public:
        void SendAlarm(int16_t AlarmState, const AlarmFields& fields) override {
            m_Link->SendAlarm(AlarmState, fields);
        }
        AlarmLink* m_Link = nullptr;
    };

    GatewayWiring Wiring();

    SystemClock m_Clock;
    LogFolder m_LogFolder;
    IniFileSource m_Settings;
    AlarmJournalFile m_Journal;
    std::array<QtSerial, kPortCount> m_MSComm;
    std::array<QtSocket, kPortCount> m_WinsockConnect;
    std::array<QtSocket, kPortCount> m_WinsockData;
    QtSocket m_ZorvanConnect;
    QtSocket m_ZorvanData;
    DlVendorLibrary m_Zorvan2;
    DlVendorLibrary m_Zorvan3;
    LinkRelay m_Relay;
    TraceFeed m_TraceFeed;
    TracedView m_View;
    Gateway m_Gateway;
    AlarmLink m_Link{m_Gateway};
    Supervisor m_Supervisor{m_Gateway, m_Link};
    PortTransportEvents m_TransportEvents{m_Gateway};
    std::function<void()> m_AfterTick;
    TickTimer m_Timer;
    StatusReport m_StatusReport;
    std::unique_ptr<StatusServer> m_StatusServer;
};

}  // namespace tw
