// A gateway with one ESPA port (port 2, a connected TCP server port) wired
// to fakes: the socket records the replies, RecordingAlarms the alarms, and
// the event log goes to a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "espa/callrecord.h"
#include "espa/linklayer.h"
#include "shell/eventlog.h"
#include "support/fakeclock.h"
#include "support/fakes.h"
#include "support/tempfolder.h"
#include "wire.h"

namespace tw::test {

inline const std::string kAck = Wire("<ACK>");
inline const std::string kNak = Wire("<NAK>");
inline const std::string kEot = Wire("<EOT>");
inline const std::string kSelect = Wire("1<ENQ>");
inline const std::string kPoll = Wire("2<ENQ>");

// SOH header STX data ETX, then the given check character.
inline std::string BlockWithCheck(const std::string& data, char check) {
    return Wire("<SOH>1<STX>") + data + Wire("<ETX>") + std::string(1, check);
}

// The same block with its correct check character.
inline std::string Block(const std::string& data) {
    const std::string checked = Wire("1<STX>") + data + Wire("<ETX>");
    return BlockWithCheck(data, BlockCheck(checked).front());
}

class LinkFixture : public ::testing::Test {
  protected:
    static constexpr int16_t kPort = 2;

    LinkFixture() {
        m_Gateway.m_Clock = &m_Clock;
        m_Gateway.m_View = &m_View;
        m_Gateway.m_EventLog = &m_EventLog;
        m_Gateway.m_Alarms = &m_Alarms;
        m_Gateway.m_General.ESPACategory = "ESPA";
        PortSettings& settings = m_Gateway.m_Ports[kPort];
        settings.PortKind = PortKindTcpServer;
        settings.Description = "Ward 3";
        settings.PollFailedCategory = "PollFail";
        m_Socket.m_State = Socket::StateConnected;
        m_Gateway.Winsock_Data[kPort] = &m_Socket;
        m_View.AddPortRow(kPort, settings.Description);
    }

    void Receive(const std::string& chunk) { HandleReceivedESPA(m_Gateway, kPort, chunk); }
    PortRuntime& Runtime() { return m_Gateway.m_Runtime[kPort]; }
    PortSettings& Settings() { return m_Gateway.m_Ports[kPort]; }
    const std::vector<std::string>& Replies() const { return m_Socket.m_SendCalls; }

    // The event-log lines of the day, without their time stamps.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        std::istringstream file(m_Folder.Read("LogFiles/" + EventLogFileName(m_Clock.Now())));
        for (std::string line; std::getline(file, line);) {
            lines.push_back(line.substr(18, line.size() - 19));  // stamp and CR
        }
        return lines;
    }

    TempFolder m_Folder;
    FakeClock m_Clock;
    MemoryView m_View;
    EventLog m_EventLog{m_Folder.Path() + "LogFiles/", m_Clock};
    RecordingAlarms m_Alarms;
    FakeSocket m_Socket;
    Gateway m_Gateway;
};

}  // namespace tw::test
