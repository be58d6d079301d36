// A gateway wired to fakes on every port and on both alarm-server routes, with
// its INI files in memory, its event log in a temporary folder and a view that
// keeps the trace lines.
// Suites derive from it (with ::testing::Test) or make one per table row.
#pragma once

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "base/eventlog.h"
#include "base/logfolder.h"
#include "core/gateway.h"
#include "support/fakeclock.h"
#include "support/fakes.h"
#include "support/fakesettings.h"
#include "support/tempfolder.h"
#include "ui/memoryview.h"

namespace tw::test {

using Lines = std::vector<std::string>;

// The headless view, also keeping the lines meant for the debug window.
class TraceView : public MemoryView {
  public:
    void AddDebugLine(const std::string& line) override {
        if (m_Open) {
            m_Lines.push_back(line);
        }
    }
    bool DebugWindowOpen() const override { return m_Open; }
    Lines m_Lines;
    bool m_Open = true;
};

struct GatewayFixture : FakeTransports {
    GatewayWiring Wiring() { return WireFakes(m_Clock, m_Ini, m_LogFolder, m_View, m_Alarms); }

    // Sets the clock and starts an event at that time.
    void SetTime(const LocalTime& now) {
        m_Clock.Set(now);
        m_Gateway.BeginEvent();
    }

    // Port set-ups, each with its row in the view.
    void TcpServer(int16_t port, int32_t listenPort) {
        m_Gateway.m_Ports[port].PortKind = PortKindTcpServer;
        m_Listeners[port].m_LocalPort = listenPort;
        m_View.AddPortRow(port, "Port " + std::to_string(port));
    }
    void TcpClient(int16_t port, const std::string& host = "10.0.0.5", int32_t remotePort = 4001) {
        m_Gateway.m_Ports[port].PortKind = PortKindTcpClient;
        m_Data[port].m_RemoteHost = host;
        m_Data[port].m_RemotePort = remotePort;
        m_View.AddPortRow(port, "Port " + std::to_string(port));
    }
    void Com(int16_t port, int16_t commPort) {
        m_Gateway.m_Ports[port].PortKind = PortKindCom;
        m_Gateway.m_Ports[port].ComSetting = "COM" + std::to_string(commPort) + ",9600,N,8,1";
        m_Serials[port].m_CommPort = commPort;
        m_View.AddPortRow(port, "Port " + std::to_string(port));
    }
    // The alarm server connected over TCP from 10.0.0.2:50000, or gone.
    void SetAlarmServerPresent(bool present) {
        m_ZorvanData.m_State = present ? Socket::StateConnected : Socket::StateClosed;
        m_ZorvanData.m_RemoteHostIP = "10.0.0.2";
        m_ZorvanData.m_RemotePort = 50000;
    }

    // The event-log lines of the day without their stamps; a line that has
    // none (the start-up rule) stands as written.
    Lines LogLines() const {
        Lines lines;
        std::istringstream in(m_Folder.Read("LogFiles/" + EventLogFileName(m_Clock.Now())));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            const bool stamped = line.size() >= 18 && line[8] == ' ' && line[17] == ' ';
            lines.push_back(stamped ? line.substr(18) : line);
        }
        return lines;
    }
    // The lines written since the last call.
    Lines NewLogLines() {
        const Lines lines = LogLines();
        Lines fresh(lines.begin() + static_cast<std::ptrdiff_t>(m_LinesSeen), lines.end());
        m_LinesSeen = lines.size();
        return fresh;
    }

    TempFolder m_Folder;
    FakeClock m_Clock;
    FakeSettings m_Ini;
    LogFolder m_LogFolder{m_Folder.Path(), "LogFiles"};
    TraceView m_View;
    RecordingAlarms m_Alarms;
    Gateway m_Gateway{Wiring()};
    size_t m_LinesSeen = 0;
};

}  // namespace tw::test
