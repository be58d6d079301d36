// The shared gateway fixture with one ESPA port in use (port 2, a connected
// TCP server port): its socket records the replies, RecordingAlarms the
// alarms. Block builders for the tests of the link layer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "espa/callrecord.h"
#include "espa/linklayer.h"
#include "support/gatewayfixture.h"
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

class LinkFixture : public ::testing::Test, public GatewayFixture {
  protected:
    static constexpr int16_t kPort = 2;

    LinkFixture() {
        m_Gateway.m_General.ESPACategory = "ESPA";
        PortSettings& settings = m_Gateway.m_Ports[kPort];
        settings.PortKind = PortKindTcpServer;
        settings.Description = "Ward 3";
        settings.PollFailedCategory = "PollFail";
        m_Socket.m_State = Socket::StateConnected;
        m_View.AddPortRow(kPort, settings.Description);
    }

    void Receive(const std::string& chunk) { HandleReceivedESPA(m_Gateway, kPort, chunk); }
    PortRuntime& Runtime() { return m_Gateway.m_Runtime[kPort]; }
    PortSettings& Settings() { return m_Gateway.m_Ports[kPort]; }
    const std::vector<std::string>& Replies() const { return m_Socket.m_SendCalls; }

    FakeSocket& m_Socket = m_Data[kPort];  // the partner's connection
};

}  // namespace tw::test
