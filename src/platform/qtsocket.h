// The socket object: one object is either a listener or one data connection,
// as the gateway's logic expects. A listener is a plain listening socket of
// its own (so that every connection's peer address is known from the moment
// it is accepted, even when the partner has already reset it); a data
// connection is a QTcpSocket.
//
// Events are delivered from the event loop and never from inside a method of
// this object, so a handler may call anything here, Close included, and a late
// event of a connection that was closed or replaced is dropped. Data arrival
// is delivered straight from Qt's readyRead (a queued event per read would
// cost an event-loop pass per ESPA element); a connection closed during it is
// destroyed only once Qt has returned.
//
// Connection requests follow the listener/data-object model: the listener
// raises OnConnectionRequest(id) with RemoteHostIP and RemotePort describing
// the requester; another object takes the connection with Accept(id) during
// that event. A request nobody accepted is closed when the event returns.
//
// What the partner acknowledged is asked of the system on a descriptor of the
// connection that this object keeps until Close, so it can still be told once
// the connection has failed.
//
// Sending is bounded: what the system does not take at once waits in a write
// backlog of at most kWriteBacklogLimit bytes; a text that does not fit is
// refused whole. The system's own send queue of a connection is kept small
// (kSendBufferSize) for the same reason.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/transport.h"

namespace tw {

// The most a connection keeps in its write backlog; a text that finds the
// backlog non-empty and would pass this is refused.
constexpr size_t kWriteBacklogLimit = size_t{64} * 1024;

// SO_SNDBUF of every data connection (the system doubles it).
constexpr int kSendBufferSize = 64 * 1024;

class QtSocket : public Socket {
  public:
    QtSocket();
    ~QtSocket() override;
    QtSocket(const QtSocket&) = delete;
    QtSocket& operator=(const QtSocket&) = delete;

    // 0 closed, 1 open, 2 listening, 4 resolving, 6 connecting, 7 connected,
    // 8 closing (the peer closed), 9 error. Stays at 8 or 9 until Close.
    int16_t State() const override;

    // When listening on port 0, the port the system chose.
    int32_t LocalPort() const override;
    void SetLocalPort(int32_t port) override;
    void SetLocalAddress(const std::string& address) override;
    std::string RemoteHost() const override;
    void SetRemoteHost(const std::string& host) override;
    int32_t RemotePort() const override;
    void SetRemotePort(int32_t port) override;
    std::string RemoteHostIP() const override;

    bool Listen(std::string& error) override;
    bool Accept(int64_t requestId) override;
    void Connect() override;
    void Close() override;
    void Reset() override;
    std::string GetData() override;
    bool SendData(const std::string& text) override;
    size_t BytesToWrite() const override;
    std::optional<size_t> UnacknowledgedBytes() const override;

    void SetEvents(SocketEvents* events) override { m_Events = events; }

  private:
    struct Peer {
        std::string m_Address;
        int32_t m_Port = 0;
    };

    // Drops the listener or connection; Close, also from the destructor.
    void Release(bool reset);
    void AcceptWaiting(uint64_t generation);
    void Announce(int descriptor, const Peer& peer);
    void TakeConnection(std::unique_ptr<QTcpSocket> connection);
    void WatchConnection();
    void KeepOwnDescriptor();
    void RaiseConnected(uint64_t generation);
    void RaiseDataArrival(uint64_t generation);
    void RaiseClose(uint64_t generation);
    void RaiseError(uint64_t generation, int32_t number, const std::string& description);
    void RaiseErrorLater(int32_t number, const std::string& description);

    // Receiver of every queued event; destroying it drops those still queued.
    QObject m_Context;
    int m_ListenDescriptor = -1;
    std::unique_ptr<QSocketNotifier> m_ListenNotifier;
    std::unique_ptr<QTcpSocket> m_Connection;
    // Connections closed while their readyRead was being delivered, destroyed
    // on the next event-loop pass (or with this object).
    std::vector<std::unique_ptr<QTcpSocket>> m_Retired;
    bool m_DeliveringData = false;
    // Bumped whenever the listener or connection is closed or replaced;
    // queued events carry the value they were raised with.
    uint64_t m_Generation = 0;
    bool m_Failed = false;
    bool m_PeerClosed = false;
    // A descriptor of the connection's own, kept until Close: the system
    // still tells what the partner acknowledged after Qt dropped its
    // descriptor on a failure.
    int m_OwnDescriptor = -1;
    // The bytes handed to Qt's write buffer and not yet written to the
    // system, counted here: Qt empties its buffer when the connection fails.
    size_t m_Backlog = 0;

    int32_t m_LocalPort = 0;
    std::string m_LocalAddress;  // empty: every IPv4 address
    std::string m_RemoteHost;
    int32_t m_RemotePort = 0;
    Peer m_LastPeer;
    std::optional<Peer> m_Requester;  // set only during OnConnectionRequest
    SocketEvents* m_Events = nullptr;
};

}  // namespace tw
