// Everything the gateway's logic works on, in one place: the settings, the
// per-port runtime records, the transport objects and the outputs. The edge
// (or a test) builds it complete; the modules are free functions and small
// classes on it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "base/clock.h"
#include "base/eventlog.h"
#include "base/logfolder.h"
#include "core/portcount.h"
#include "core/portruntime.h"
#include "core/settings.h"
#include "core/settingssource.h"
#include "core/transport.h"
#include "core/vendorlibrary.h"
#include "core/view.h"

namespace tw {

// The six text fields T0..T5 of an alarm.
using AlarmFields = std::array<std::string, 6>;

// The AlarmState of an alarm message, its first field.
enum : int16_t { AlarmStateRestored = 0, AlarmStateRaised = 1 };

// Where alarms go: the alarm-server link, or a recording fake in tests.
class AlarmOutput {
  public:
    virtual ~AlarmOutput() = default;
    // Builds the alarm message, delivers or buffers it; reports nothing back.
    virtual void SendAlarm(int16_t AlarmState, const AlarmFields& fields) = 0;
};

// The objects a gateway works with, all owned by the edge (or the test) and
// living at least as long as the gateway; index = port number. None may be
// missing.
struct GatewayWiring {
    std::array<Socket*, kPortCount> Winsock_Connect{};
    std::array<Socket*, kPortCount> Winsock_Data{};
    std::array<Serial*, kPortCount> MSComm{};
    Socket* Winsock_Zorvan_Connect = nullptr;
    Socket* Winsock_Zorvan_Data = nullptr;
    VendorLibrary* Zorvan2 = nullptr;  // method 0
    VendorLibrary* Zorvan3 = nullptr;  // method 1
    const Clock* m_Clock = nullptr;
    SettingsSource* m_Settings = nullptr;
    LogFolder* m_LogFolder = nullptr;
    View* m_View = nullptr;
    AlarmOutput* m_Alarms = nullptr;
};

struct Gateway {
    // Throws std::invalid_argument when an object of the wiring is missing.
    explicit Gateway(const GatewayWiring& wiring);
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;

    GeneralSettings m_General;
    std::array<PortSettings, kPortCount> m_Ports;
    std::array<PortRuntime, kPortCount> m_Runtime;

    const std::array<Socket*, kPortCount> Winsock_Connect;
    const std::array<Socket*, kPortCount> Winsock_Data;
    const std::array<Serial*, kPortCount> MSComm;
    Socket& Winsock_Zorvan_Connect;
    Socket& Winsock_Zorvan_Data;
    VendorLibrary& Zorvan2;
    VendorLibrary& Zorvan3;
    const Clock& m_Clock;
    SettingsSource& m_Settings;
    LogFolder& m_LogFolder;
    View& m_View;
    AlarmOutput& m_Alarms;

    // Starts an event (a tick, a socket or serial event, a start or stop
    // step): the settings are brought up to date with their files, the
    // clock is read once, and every log line, trace line and alarm field of
    // the event carries that reading.
    void BeginEvent() {
        m_Settings.Refresh();
        m_Now = m_Clock.Now();
    }

    // The time of the current event.
    const LocalTime& Now() const { return m_Now; }

    void WriteEventLog(const std::string& message) const;
    // A connection line through the gate of its port or link: written, or
    // counted while such lines flood the log.
    void WriteConnectionLine(LogFloodGate& gate, const std::string& message) const;
    // A second has passed for the gate: at the end of a minute with lines
    // held back, "<label>: N more connection events in the last minute".
    void SumUpConnectionLines(LogFloodGate& gate, const std::string& label) const;

    // When set, also gets the message of every event-log line (the copy for
    // the system's log of a service); the file log stays as it is.
    std::function<void(const std::string& message)> m_EventLogCopy;

  private:
    EventLog m_EventLog;
    LocalTime m_Now;
};

}  // namespace tw
