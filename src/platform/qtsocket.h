// The socket object: one object is either a listener or one data connection,
// as the gateway's logic expects. Both are plain sockets of their own, watched
// by the Qt event loop: a listener knows every connection's peer address from
// the moment it accepts it (even when the partner has already reset it); a
// connection reads with one system call per wake-up and sends straight to the
// system.
//
// Events are delivered from the event loop and never from inside a method of
// this object, so a handler may call anything here, Close included, and a late
// event of a connection that was closed or replaced is dropped. Data arrival
// is delivered as soon as the loop sees the bytes.
//
// Connection requests follow the listener/data-object model: the listener
// raises OnConnectionRequest(id) with RemoteHostIP and RemotePort describing
// the requester; another object takes the connection with Accept(id) during
// that event. A request nobody accepted is closed when the event returns.
//
// Reading is bounded: a connection holds at most kReadBufferSize bytes read
// but not yet taken; beyond it the bytes wait in the system and TCP slows the
// sender. Sending is bounded: what the system does not take at once waits in
// a write backlog of at most kWriteBacklogLimit bytes; a text that does not
// fit is refused whole. The system's own send queue of a connection is kept
// small (kSendBufferSize) for the same reason. The descriptor stays open
// until Close, so what the partner acknowledged can still be told after the
// connection failed.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/transport.h"

namespace tw {

// The most a connection holds read but not yet handed on.
constexpr size_t kReadBufferSize = size_t{64} * 1024;

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

    // 0 closed, 2 listening, 4 resolving, 6 connecting, 7 connected, 8
    // closing (the peer closed), 9 error. Stays at 8 or 9 until Close.
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
    // A host name is looked up first (without waiting); every address it has
    // is tried in turn.
    void Connect() override;
    void Close() override;
    void Reset() override;
    std::string GetData() override;
    bool SendData(const std::string& text) override;
    size_t BytesToWrite() const override { return m_Backlog.size(); }
    std::optional<size_t> UnacknowledgedBytes() const override;
    bool PartnerReset() const override { return m_PartnerReset; }

    void SetEvents(SocketEvents* events) override { m_Events = events; }

  private:
    enum class Phase { Closed, Listening, Resolving, Connecting, Connected, PeerClosed, Failed };

    struct Peer {
        std::string m_Address;
        int32_t m_Port = 0;
    };

    // Drops the listener or connection; Close, also from the destructor.
    void Release(bool reset);
    void DropNotifiers();
    void AcceptWaiting(uint64_t generation);
    void Announce(int descriptor, const Peer& peer);
    void TakeDescriptor(int descriptor, Phase phase);
    void ConnectToNextAddress();
    void Finish(const std::string& error, int number);
    void OnReadable();
    void OnWritable();
    void CompleteConnect();
    void WriteBacklog();
    ssize_t SendNow(const char* bytes, size_t size);
    void Fail(int error);
    void RaiseErrorLater(int32_t number, const std::string& description);

    // Receiver of every queued event; destroying it drops those still queued.
    QObject m_Context;
    Phase m_Phase = Phase::Closed;
    int m_Descriptor = -1;
    std::unique_ptr<QSocketNotifier> m_ReadNotifier;
    std::unique_ptr<QSocketNotifier> m_WriteNotifier;
    // Notifiers of a connection closed while one of them was delivering,
    // destroyed on the next event-loop pass (or with this object).
    std::vector<std::unique_ptr<QSocketNotifier>> m_Retired;
    bool m_Delivering = false;
    bool m_PartnerReset = false;
    // Bumped whenever the listener or connection is closed or replaced;
    // queued events carry the value they were raised with.
    uint64_t m_Generation = 0;
    int m_LookupId = -1;
    std::vector<std::string> m_Addresses;  // still to try for Connect
    std::string m_ReadBuffer;
    std::string m_Backlog;

    int32_t m_LocalPort = 0;
    std::string m_LocalAddress;  // empty: every IPv4 address
    std::string m_RemoteHost;
    int32_t m_RemotePort = 0;
    Peer m_LastPeer;
    std::optional<Peer> m_Requester;  // set only during OnConnectionRequest
    SocketEvents* m_Events = nullptr;
};

}  // namespace tw
