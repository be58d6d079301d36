// QtSocket on real loopback connections.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "integration/eventloop.h"
#include "platform/qtsocket.h"
#include "support/loopback.h"

namespace tw::test {
namespace {

// Records every event of one socket; optional reactions stand in for the
// gateway's handlers.
class Recorder : public SocketEvents {
  public:
    explicit Recorder(QtSocket& socket) : m_Socket(socket) { socket.SetEvents(this); }

    void OnConnectionRequest(int64_t requestId) override {
        m_Requesters.push_back(m_Socket.RemoteHostIP() + ":" +
                               std::to_string(m_Socket.RemotePort()));
        if (m_OnRequest) {
            m_OnRequest(requestId);
        }
    }
    void OnDataArrival(int64_t /*bytesTotal*/) override {
        const std::string chunk = m_Socket.GetData();
        m_LargestChunk = std::max(m_LargestChunk, chunk.size());
        m_Data += chunk;
    }
    void OnConnect() override {
        ++m_Connects;
        m_LocalPortAtConnect = m_Socket.LocalPort();
    }
    void OnClose() override {
        m_StateAtClose = m_Socket.State();
        m_UnacknowledgedAtEnd = m_Socket.UnacknowledgedBytes();
        ++m_Closes;
        m_Socket.Close();  // as the gateway's close handler does
    }
    void OnError(int32_t number, const std::string& description) override {
        m_StateAtError = m_Socket.State();
        m_UnacknowledgedAtEnd = m_Socket.UnacknowledgedBytes();
        m_Errors.emplace_back(number, description);
        m_Socket.Close();
    }

    QtSocket& m_Socket;
    std::function<void(int64_t)> m_OnRequest;
    std::vector<std::string> m_Requesters;
    std::string m_Data;
    size_t m_LargestChunk = 0;
    int m_Connects = 0;
    int32_t m_LocalPortAtConnect = 0;
    int m_Closes = 0;
    int16_t m_StateAtClose = -1;
    int16_t m_StateAtError = -1;
    std::optional<size_t> m_UnacknowledgedAtEnd;
    std::vector<std::pair<int32_t, std::string>> m_Errors;
};

class SocketTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(m_Listener.Listen(error)) << error;
        ASSERT_EQ(m_Listener.State(), Socket::StateListening);
        ASSERT_GT(m_Listener.LocalPort(), 0);
    }

    // To the fixture's listener unless told otherwise.
    void ConnectClient(QtSocket& client, const std::string& host = "127.0.0.1", int32_t port = 0) {
        client.SetRemoteHost(host);
        client.SetRemotePort(port != 0 ? port : m_Listener.LocalPort());
        client.Connect();
    }

    // Takes each request into the first closed data socket, if any.
    void AcceptInto(const std::vector<QtSocket*>& dataSockets) {
        m_ListenerEvents.m_OnRequest = [dataSockets](int64_t requestId) {
            for (QtSocket* data : dataSockets) {
                if (data->Accept(requestId)) {
                    return;
                }
            }
        };
    }

    QtSocket m_Listener;
    Recorder m_ListenerEvents{m_Listener};
};

// A flooding partner must neither grow the read buffer without end nor hand
// over one huge chunk that holds up every other event.
TEST_F(SocketTest, AcceptedConnectionCarriesEveryByteBothWaysInChunksOfAtMost64KiB) {
    QtSocket data;
    Recorder dataEvents(data);
    AcceptInto({&data});
    QtSocket client;
    Recorder clientEvents(client);
    ConnectClient(client);
    EXPECT_NE(client.State(), Socket::StateClosed);

    ASSERT_TRUE(WaitUntil([&] { return clientEvents.m_Connects == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return data.State() == Socket::StateConnected; }));
    ASSERT_EQ(m_ListenerEvents.m_Requesters.size(), 1U);
    EXPECT_EQ(m_ListenerEvents.m_Requesters[0], "127.0.0.1:" + std::to_string(client.LocalPort()));
    EXPECT_EQ(data.RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(data.RemotePort(), client.LocalPort());
    EXPECT_EQ(m_Listener.State(), Socket::StateListening);

    std::string everyByte;
    for (int value = 0; value < 256; ++value) {
        everyByte += static_cast<char>(value);
    }
    std::string megabyte(size_t{1024} * 1024, '\0');
    for (size_t i = 0; i < megabyte.size(); ++i) {
        megabyte[i] = static_cast<char>(i * 7 % 251);
    }
    ASSERT_TRUE(client.SendData(everyByte));
    ASSERT_TRUE(client.SendData(megabyte));
    ASSERT_TRUE(WaitUntil([&] { return dataEvents.m_Data.size() == 256 + megabyte.size(); }));
    EXPECT_EQ(dataEvents.m_Data, everyByte + megabyte);
    EXPECT_LE(dataEvents.m_LargestChunk, size_t{64} * 1024);
    ASSERT_TRUE(data.SendData("\x06"));
    ASSERT_TRUE(WaitUntil([&] { return clientEvents.m_Data == "\x06"; }));

    client.Close();
    EXPECT_EQ(client.State(), Socket::StateClosed);
    ASSERT_TRUE(WaitUntil([&] { return dataEvents.m_Closes == 1; }));
    EXPECT_EQ(dataEvents.m_StateAtClose, 8);  // closing, until the handler closes it
    EXPECT_EQ(data.State(), Socket::StateClosed);
    EXPECT_TRUE(dataEvents.m_Errors.empty());
    EXPECT_FALSE(data.SendData("late"));
}

// What the partner has not acknowledged can be told, also at the moment it resets.
TEST_F(SocketTest, APartnerThatDoesNotReadMeetsABoundedBacklogAndItsProgressIsKnown) {
    QtSocket data;
    Recorder dataEvents(data);
    AcceptInto({&data});
    RawSocket partner(4096);  // a plain socket can stop reading, or reset at once
    ASSERT_TRUE(partner.Connect(m_Listener.LocalPort()));
    ASSERT_TRUE(WaitUntil([&] { return data.State() == Socket::StateConnected; }));
    const std::string line(1000, 'a');
    int taken = 0;
    while (taken < 10000 && data.SendData(line)) {
        ++taken;
        RunFor(taken % 50 == 0 ? 1 : 0);
    }
    EXPECT_LT(taken, 10000);
    EXPECT_GT(data.BytesToWrite(), 0U);
    EXPECT_LE(data.BytesToWrite(), kWriteBacklogLimit + line.size());
    ASSERT_TRUE(data.UnacknowledgedBytes().has_value());
    EXPECT_GT(*data.UnacknowledgedBytes(), data.BytesToWrite());
    partner.Reset();
    ASSERT_TRUE(WaitUntil([&] { return dataEvents.m_Closes + dataEvents.m_Errors.size() > 0; }));
    EXPECT_TRUE(dataEvents.m_UnacknowledgedAtEnd.has_value());
}

TEST_F(SocketTest, APartnerThatResetsBeforeItIsTakenIsAnnouncedWithItsAddress) {
    RawSocket partner;
    ASSERT_TRUE(partner.Connect(m_Listener.LocalPort()));
    const int localPort = partner.LocalPort();
    partner.Reset();
    ASSERT_TRUE(WaitUntil([&] { return !m_ListenerEvents.m_Requesters.empty(); }));
    EXPECT_EQ(m_ListenerEvents.m_Requesters[0], "127.0.0.1:" + std::to_string(localPort));
}

TEST_F(SocketTest, ListenOnAPortInUseFailsAtOnceWithReadableText) {
    QtSocket second;
    second.SetLocalPort(m_Listener.LocalPort());
    std::string error;
    EXPECT_FALSE(second.Listen(error));
    EXPECT_NE(error.find("address"), std::string::npos) << error;
    EXPECT_EQ(second.State(), Socket::StateClosed);

    QtSocket outOfRange;
    outOfRange.SetLocalPort(70000);
    EXPECT_FALSE(outOfRange.Listen(error));
    EXPECT_EQ(error, "Invalid port number 70000");
}

TEST_F(SocketTest, ListenBindsToTheOneLocalAddressGivenAndElsewhereIsRefused) {
    QtSocket bound;
    Recorder boundEvents(bound);
    bound.SetLocalAddress("127.0.0.2");
    std::string error;
    ASSERT_TRUE(bound.Listen(error)) << error;

    QtSocket elsewhere;
    Recorder elsewhereEvents(elsewhere);
    ConnectClient(elsewhere, "127.0.0.1", bound.LocalPort());
    // Nobody listens there: the refusal is an error event with readable text.
    ASSERT_TRUE(WaitUntil([&] { return !elsewhereEvents.m_Errors.empty(); }));
    EXPECT_EQ(elsewhereEvents.m_StateAtError, Socket::StateError);
    EXPECT_GT(elsewhereEvents.m_Errors[0].first, 0);
    EXPECT_EQ(elsewhereEvents.m_Errors[0].second, "Connection refused");
    EXPECT_EQ(elsewhereEvents.m_Connects, 0);
    EXPECT_EQ(elsewhere.State(), Socket::StateClosed);

    QtSocket client;
    Recorder clientEvents(client);
    ConnectClient(client, "127.0.0.2", bound.LocalPort());
    ASSERT_TRUE(WaitUntil([&] { return boundEvents.m_Requesters.size() == 1; }));
}

TEST_F(SocketTest, EachRequestIsAnnouncedAndOneNobodyTakesIsClosed) {
    QtSocket first;
    QtSocket second;
    Recorder firstEvents(first);
    Recorder secondEvents(second);
    AcceptInto({&first, &second});
    QtSocket clients[3];
    Recorder clientEvents[3] = {Recorder(clients[0]), Recorder(clients[1]), Recorder(clients[2])};
    for (QtSocket& client : clients) {
        ConnectClient(client);
    }

    ASSERT_TRUE(WaitUntil([&] { return m_ListenerEvents.m_Requesters.size() == 3; }));
    ASSERT_TRUE(WaitUntil([&] {
        return clientEvents[0].m_Connects + clientEvents[1].m_Connects +
                   clientEvents[2].m_Connects ==
               3;
    }));
    // The requester named during each event is the one that got that socket.
    EXPECT_EQ(m_ListenerEvents.m_Requesters[0], "127.0.0.1:" + std::to_string(first.RemotePort()));
    EXPECT_EQ(m_ListenerEvents.m_Requesters[1], "127.0.0.1:" + std::to_string(second.RemotePort()));
    EXPECT_NE(first.RemotePort(), second.RemotePort());

    // The third found both data sockets busy: its connection is closed.
    const std::string third = m_ListenerEvents.m_Requesters[2];
    int refused = -1;
    for (int index = 0; index < 3; ++index) {
        if (third == "127.0.0.1:" + std::to_string(clientEvents[index].m_LocalPortAtConnect)) {
            refused = index;
        }
    }
    ASSERT_GE(refused, 0);
    ASSERT_TRUE(WaitUntil([&] {
        return clientEvents[refused].m_Closes + clientEvents[refused].m_Errors.size() > 0;
    }));

    // The accepted connections carry on.
    const int kept = refused == 0 ? 1 : 0;
    ASSERT_TRUE(clients[kept].SendData("still here"));
    ASSERT_TRUE(
        WaitUntil([&] { return firstEvents.m_Data + secondEvents.m_Data == "still here"; }));
    EXPECT_EQ(first.State(), Socket::StateConnected);
    EXPECT_EQ(second.State(), Socket::StateConnected);
}

TEST_F(SocketTest, ClosingTheListenerInsideItsRequestEventRefusesTheRequest) {
    m_ListenerEvents.m_OnRequest = [this](int64_t) { m_Listener.Close(); };
    QtSocket client;
    Recorder clientEvents(client);
    ConnectClient(client);

    ASSERT_TRUE(WaitUntil([&] { return m_ListenerEvents.m_Requesters.size() == 1; }));
    EXPECT_EQ(m_Listener.State(), Socket::StateClosed);
    ASSERT_TRUE(
        WaitUntil([&] { return clientEvents.m_Closes + clientEvents.m_Errors.size() > 0; }));
}

}  // namespace
}  // namespace tw::test
