#include "ports/supervision.h"

#include <algorithm>
#include <limits>
#include <string>

#include "base/counters.h"
#include "espa/linklayer.h"
#include "espa/trace.h"
#include "ports/connectionstatus.h"

namespace tw {
namespace {

// The once-a-second pass always counts as exactly this much time.
constexpr int32_t kPassMilliseconds = 1000;

// The countdown after one more second. A listen or serial open that keeps
// failing is never reloaded, so the value is held at 0 (an attempt is due at
// 0 or less) instead of sinking towards overflow.
int32_t CountDown(int32_t countdown) {
    return countdown > kPassMilliseconds ? countdown - kPassMilliseconds : 0;
}

// A whole number of seconds from ms: "60", or "2.5" for 2500.
std::string FormatSeconds(int32_t milliseconds) {
    std::string text = std::to_string(milliseconds / 1000);
    int32_t fraction = milliseconds % 1000;
    if (fraction == 0) {
        return text;
    }
    std::string digits = std::to_string(1000 + fraction).substr(1);
    digits.erase(digits.find_last_not_of('0') + 1);
    return text + "." + digits;
}

bool IsTcp(int16_t kind) {
    return kind == PortKindTcpServer || kind == PortKindTcpClient;
}

}  // namespace

Supervisor::Supervisor(Gateway& gateway, AlarmLink& link) : m_Gateway(gateway), m_Link(link) {}

void Supervisor::Timer_Update_Timer() {
    m_Gateway.BeginEvent();
    m_TickAccumulator += kUpdateInterval;
    if (m_TickAccumulator > 999) {
        OnceASecondPass();
        m_TickAccumulator = 0;
    }
    m_Link.SuperviseConnection(kUpdateInterval);
    m_Link.ResendBufferedAlarms();
    for (int16_t port = 0; port < kPortCount; ++port) {
        ESPATimeoutStep(port);
    }
}

void Supervisor::OnceASecondPass() {
    m_Link.LoadVendorLibrary();
    m_Link.KeepListening();
    m_Link.ShowZorvanConnectionState();
    for (int16_t port = 0; port < kPortCount; ++port) {
        KindStep(port);
        PollFailureStep(port);
        SumUpConnectionLines(port);
        ShowPortTotals(m_Gateway, port);
    }
    m_Link.WatchDogTick(kPassMilliseconds);
    m_Link.SumUpConnectionLines();
}

void Supervisor::SumUpConnectionLines(int16_t port) {
    m_Gateway.SumUpConnectionLines(m_Gateway.m_Runtime[port].ConnectionLog, PortLabel(port));
}

bool Supervisor::PortDisabled() {
    // The presence check is made every time; the setting only matters when it
    // says the alarm server is away.
    return !m_Link.IsZorvanRunning() &&
           m_Gateway.m_General.CloseESPAPortsWhenZorvanIsNotRunningOrActive;
}

void Supervisor::KindStep(int16_t port) {
    switch (m_Gateway.m_Ports[port].PortKind) {
        case PortKindTcpServer:
            TcpServerStep(port);
            break;
        case PortKindTcpClient:
            TcpClientStep(port);
            break;
        case PortKindCom:
            ComStep(port);
            break;
        default:
            return;
    }
    ShowTCPConnectionState(m_Gateway, port);
}

void Supervisor::TcpServerStep(int16_t port) {
    Socket& listener = *m_Gateway.Winsock_Connect[port];
    Socket& data = *m_Gateway.Winsock_Data[port];
    int32_t& countdown = m_Gateway.m_Runtime[port].ReconnectCountdown;
    const std::string n = std::to_string(port);
    if (PortDisabled()) {
        if (listener.State() != Socket::StateClosed) {
            listener.Close();
            m_Gateway.WriteEventLog("Disabled listen connection (" + n + ")");
        }
        data.Close();
        countdown = 0;
    } else if (listener.State() != Socket::StateListening) {
        countdown = CountDown(countdown);
        if (countdown <= 0) {
            std::string error;
            if (listener.Listen(error)) {
                m_Gateway.WriteEventLog("Set (" + n + ") in listen mode for IP port " +
                                        std::to_string(listener.LocalPort()));
            } else {
                m_Gateway.WriteEventLog("Could not set socket in listen mode: " + error +
                                        " for port " + n);
            }
        }
    } else {
        countdown = m_Gateway.m_General.ReconnectInterval;
    }
}

void Supervisor::TcpClientStep(int16_t port) {
    Socket& data = *m_Gateway.Winsock_Data[port];
    int32_t& countdown = m_Gateway.m_Runtime[port].ReconnectCountdown;
    const std::string n = std::to_string(port);
    if (PortDisabled()) {
        if (data.State() != Socket::StateClosed) {
            data.Close();
            m_Gateway.WriteEventLog("Disconnected connection (" + n + ")");
        }
        countdown = 0;
    } else if (data.State() != Socket::StateConnected) {
        countdown = CountDown(countdown);
        if (countdown <= 0) {
            // An attempt still in progress is abandoned and started again.
            data.Close();
            data.Connect();
            m_Gateway.WriteEventLog("Trying to connect (" + n + ")");
            countdown = m_Gateway.m_General.ReconnectInterval;
        }
    } else {
        countdown = m_Gateway.m_General.ReconnectInterval;
    }
}

void Supervisor::ComStep(int16_t port) {
    Serial& serial = *m_Gateway.MSComm[port];
    int32_t& countdown = m_Gateway.m_Runtime[port].ReconnectCountdown;
    const std::string n = std::to_string(port);
    if (PortDisabled()) {
        if (serial.PortOpen()) {
            std::string ignored;
            serial.SetPortOpen(false, ignored);
            m_Gateway.WriteEventLog("Closed (" + n + ") port COM" +
                                    std::to_string(serial.CommPort()));
        }
        countdown = 0;
    } else if (!serial.PortOpen()) {
        countdown = CountDown(countdown);
        if (countdown <= 0) {
            std::string error;
            if (serial.SetPortOpen(true, error) && serial.PortOpen()) {
                m_Gateway.WriteEventLog("Opened (" + n + ") port COM" +
                                        std::to_string(serial.CommPort()));
            } else {
                m_Gateway.WriteEventLog("Bad server/client configuration for port " + n);
                // The event-log line carries no reason; the trace keeps it.
                WriteTraceNote(m_Gateway,
                               "COM" + std::to_string(serial.CommPort()) + " not opened: " + error);
            }
        }
    } else {
        countdown = m_Gateway.m_General.ReconnectInterval;
    }
}

void Supervisor::PollFailureStep(int16_t port) {
    const PortSettings& settings = m_Gateway.m_Ports[port];
    if (settings.PortKind == PortKindNone) {
        return;
    }
    const bool running = m_Link.IsZorvanRunning();
    if (settings.PollFailTimeout <= 0 || !running) {
        return;
    }
    PortRuntime& runtime = m_Gateway.m_Runtime[port];
    const std::string n = std::to_string(port);
    if (runtime.PollFailElapsed >= settings.PollFailTimeout) {
        if (settings.PollFailRemindTime <= 0) {
            return;
        }
        // A period beyond the int32 range of ms is held at that range (about
        // 24.8 days), so the elapsed time can always reach it.
        const int32_t remindPeriod = static_cast<int32_t>(
            std::min<int64_t>(static_cast<int64_t>(settings.PollFailRemindTime) * 1000,
                              std::numeric_limits<int32_t>::max()));
        runtime.PollFailRemindElapsed =
            AddClamped(runtime.PollFailRemindElapsed, kPassMilliseconds);
        if (runtime.PollFailRemindElapsed >= remindPeriod) {
            RaisePollAlarm(port, "ESPA Connection '" + settings.Description + "' (" + n +
                                     ") is still bad (cyclic " +
                                     std::to_string(settings.PollFailRemindTime) + " s reminder)");
            runtime.PollFailRemindElapsed = 0;
        }
        return;
    }
    runtime.PollFailElapsed = AddClamped(runtime.PollFailElapsed, kPassMilliseconds);
    if (runtime.PollFailElapsed >= settings.PollFailTimeout) {
        RaisePollAlarm(port, "ESPA Connection '" + settings.Description + "' (" + n +
                                 ") have failed (no events within " +
                                 FormatSeconds(settings.PollFailTimeout) + " s)");
    }
}

void Supervisor::RaisePollAlarm(int16_t port, const std::string& text) {
    const PortSettings& settings = m_Gateway.m_Ports[port];
    m_Gateway.m_Alarms.SendAlarm(
        AlarmStateRaised, {settings.Description, "", settings.PollFailedCategory, "", text, ""});
}

void Supervisor::ESPATimeoutStep(int16_t port) {
    const int16_t kind = m_Gateway.m_Ports[port].PortKind;
    const int32_t timeout = m_Gateway.m_General.ESPATimeout;
    if (kind == PortKindNone || timeout <= 0) {
        return;
    }
    PortRuntime& runtime = m_Gateway.m_Runtime[port];
    runtime.ESPAIdleTime = AddClamped(runtime.ESPAIdleTime, kUpdateInterval);
    Socket& data = *m_Gateway.Winsock_Data[port];
    if (IsTcp(kind)) {
        // Silence counts only while a data connection exists.
        const int16_t state = data.State();
        if (state == Socket::StateClosed || state == Socket::StateError) {
            runtime.ESPAIdleTime = 0;
        }
    }
    if (runtime.ESPAIdleTime < timeout) {
        return;
    }
    FailESPACommunication(m_Gateway, port);
    if (m_Gateway.m_General.CloseESPAPortIfCommunicationFails && IsTcp(kind) &&
        data.State() == Socket::StateConnected) {
        m_Gateway.WriteEventLog("Closing socket due to ESPA communication (" +
                                std::to_string(port) + ") failure");
        data.Close();
    }
}

}  // namespace tw
