// Everything the gateway's logic works on, in one place: the settings, the
// per-port runtime records, the transport objects and the outputs. main (or a
// test) fills it; the modules are free functions and small classes on it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "alarmlink/vendorlibrary.h"
#include "ports/portruntime.h"
#include "ports/transport.h"
#include "shell/clock.h"
#include "shell/eventlog.h"
#include "shell/settings.h"
#include "ui/view.h"

namespace tw {

// The six text fields T0..T5 of an alarm.
using AlarmFields = std::array<std::string, 6>;

// Where alarms go: the alarm-server link, or a recording fake in tests.
class AlarmOutput {
  public:
    virtual ~AlarmOutput() = default;
    // Builds the alarm message, delivers or buffers it; reports nothing back.
    virtual void SendAlarm(int16_t AlarmState, const AlarmFields& fields) = 0;
};

struct Gateway {
    GeneralSettings m_General;
    std::array<PortSettings, kPortCount> m_Ports;
    std::array<PortRuntime, kPortCount> m_Runtime;

    // Transport objects, owned by the edge (or the test); index = port number.
    std::array<Socket*, kPortCount> Winsock_Connect{};
    std::array<Socket*, kPortCount> Winsock_Data{};
    std::array<Serial*, kPortCount> MSComm{};
    Socket* Winsock_Zorvan_Connect = nullptr;
    Socket* Winsock_Zorvan_Data = nullptr;
    VendorLibrary* Zorvan2 = nullptr;  // method 0
    VendorLibrary* Zorvan3 = nullptr;  // method 1

    const EventLog* m_EventLog = nullptr;
    View* m_View = nullptr;
    const Clock* m_Clock = nullptr;
    AlarmOutput* m_Alarms = nullptr;

    void WriteEventLog(const std::string& message) const {
        if (m_EventLog != nullptr) {
            m_EventLog->WriteEventLog(message);
        }
    }
};

}  // namespace tw
