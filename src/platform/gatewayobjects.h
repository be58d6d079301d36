// Every object of the running gateway, wired as the program runs it: the
// transport objects of the eight ports and of the alarm-server link, both
// vendor libraries, the clock and the event log, the alarm link, the
// supervision cycle with its 100 ms timer, and the transport events bound to
// their callbacks. The program makes one; integration tests make one at a
// time. Everything lives on the thread of the Qt application object, which
// must exist first, and AppFolder must be set before construction.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "alarmlink/alarmlink.h"
#include "alarmlink/dlvendorlibrary.h"
#include "platform/qtserial.h"
#include "platform/qtsocket.h"
#include "platform/ticktimer.h"
#include "ports/supervision.h"
#include "ports/transports.h"
#include "shell/clock.h"
#include "shell/eventlog.h"
#include "shell/gateway.h"
#include "shell/settings.h"

namespace tw {

class GatewayObjects {
  public:
    // view: the main window, or a MemoryView headless; must outlive this.
    explicit GatewayObjects(View& view);
    ~GatewayObjects();
    GatewayObjects(const GatewayObjects&) = delete;
    GatewayObjects& operator=(const GatewayObjects&) = delete;

    Gateway& GetGateway() { return m_Gateway; }
    AlarmLink& Link() { return m_Link; }
    const EventLog& Log() const { return m_EventLog; }

    // The serial device of a COM port (empty: /dev/ttyS(n-1) for COMn).
    void SetComDevice(int16_t port, const std::string& path);

    // The supervision timer; the first once-a-second pass opens the ports.
    void StartTimer() { m_Timer.Start(); }
    void StopTimer() { m_Timer.Stop(); }

  private:
    SystemClock m_Clock;
    EventLog m_EventLog;
    std::array<QtSerial, kPortCount> m_MSComm;
    std::array<QtSocket, kPortCount> m_WinsockConnect;
    std::array<QtSocket, kPortCount> m_WinsockData;
    QtSocket m_ZorvanConnect;
    QtSocket m_ZorvanData;
    DlVendorLibrary m_Zorvan2{"Zorvan2.dll"};
    DlVendorLibrary m_Zorvan3{"Zorvan3.dll"};
    Gateway m_Gateway;
    AlarmLink m_Link{m_Gateway};
    Supervisor m_Supervisor{m_Gateway, m_Link};
    PortTransportEvents m_TransportEvents{m_Gateway};
    TickTimer m_Timer;
};

}  // namespace tw
