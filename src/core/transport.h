// The socket and serial port objects as the gateway's logic sees them. The
// real ones are Qt adapters; tests use hand-written fakes. All calls and all
// events happen on the one event-loop thread; no method blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tw {

// Events of a socket object, delivered one at a time on the event loop. A
// sink overrides the events it cares for; the others do nothing.
class SocketEvents {
  public:
    virtual ~SocketEvents() = default;
    // On a listening object: a partner connects. RemoteHostIP and RemotePort of
    // the listening object describe that partner until the event returns.
    virtual void OnConnectionRequest(int64_t /*requestId*/) {}
    // On a connected object: data has arrived (GetData reads it).
    virtual void OnDataArrival(int64_t /*bytesTotal*/) {}
    // An asynchronous Connect succeeded.
    virtual void OnConnect() {}
    // The peer closed the connection.
    virtual void OnClose() {}
    // An asynchronous failure, with a readable description.
    virtual void OnError(int32_t /*number*/, const std::string& /*description*/) {}
};

// A TCP socket object: either a listener or one data connection.
class Socket {
  public:
    enum : int16_t { StateClosed = 0, StateListening = 2, StateConnected = 7, StateError = 9 };

    virtual ~Socket() = default;

    // 0 closed, 2 listening, 7 connected, 9 error; any other value is a
    // transitional state (opening, resolving, connecting, closing).
    virtual int16_t State() const = 0;

    virtual int32_t LocalPort() const = 0;
    virtual void SetLocalPort(int32_t port) = 0;
    // The one local address (IPv4 or IPv6 text) that Listen binds to; empty,
    // the default, listens on every IPv4 address. Objects that cannot bind
    // to one address ignore it.
    virtual void SetLocalAddress(const std::string& /*address*/) {}
    // Host name or dotted address of the partner to connect to, exactly as set.
    virtual std::string RemoteHost() const = 0;
    virtual void SetRemoteHost(const std::string& host) = 0;
    // Partner port; on a listener during a connection request, the requester's.
    virtual int32_t RemotePort() const = 0;
    virtual void SetRemotePort(int32_t port) = 0;
    // Dotted address of the peer; on a listener during a connection request,
    // the requester's.
    virtual std::string RemoteHostIP() const = 0;

    // Starts listening on LocalPort. Fails at once: returns false and sets
    // error to a readable text.
    virtual bool Listen(std::string& error) = 0;
    // Takes the pending connection requestId (announced by a listener) into
    // this object, which must be closed. False when that is not possible; the
    // pending connection then stays where it was.
    virtual bool Accept(int64_t requestId) = 0;
    // Starts an asynchronous connect to RemoteHost:RemotePort; the outcome
    // arrives as OnConnect or OnError.
    virtual void Connect() = 0;
    // Closes; allowed in every state.
    virtual void Close() = 0;
    // All data received so far, one character per byte.
    virtual std::string GetData() = 0;
    // Hands the text, one byte per character, to the connection: to the
    // system at once as far as it takes it, the rest into a bounded write
    // backlog. False, with nothing sent, on an error or when the backlog
    // cannot take it (the partner does not read).
    virtual bool SendData(const std::string& text) = 0;
    // Bytes waiting in the write backlog, not yet taken by the system.
    virtual size_t BytesToWrite() const = 0;
    // Bytes sent on the connection that the partner's TCP has not yet
    // acknowledged, the write backlog included; still told after the
    // connection failed, until Close. nullopt when unknown.
    virtual std::optional<size_t> UnacknowledgedBytes() const = 0;
    // True once the partner ended the connection with a reset rather than in
    // order: its system then discarded whatever it had received but not yet
    // read. Told until the next connection.
    virtual bool PartnerReset() const { return false; }
    // Closes at once with a reset, so that nothing still queued for the
    // partner goes out any more; allowed in every state.
    virtual void Reset() = 0;

    virtual void SetEvents(SocketEvents* events) = 0;
};

// "host:port" as the event log and the window name a partner.
inline std::string Endpoint(const std::string& host, int32_t port) {
    return host + ":" + std::to_string(port);
}

// Events of a serial port object.
class SerialEvents {
  public:
    virtual ~SerialEvents() = default;
    // Any communication event; CommEvent tells which.
    virtual void OnComm() = 0;
};

// A serial port object.
class Serial {
  public:
    enum : int16_t { CommEventReceive = 2 };

    virtual ~Serial() = default;

    virtual int16_t CommPort() const = 0;
    virtual void SetCommPort(int16_t port) = 0;
    // Line settings "baud,parity,data bits,stop bits", for example "9600,N,8,1".
    // False with a readable error when the text cannot be used.
    virtual bool SetSettings(const std::string& settings, std::string& error) = 0;
    // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both. False when out of range.
    virtual bool SetHandshaking(int16_t mode) = 0;

    virtual bool PortOpen() const = 0;
    // Opens (true) or closes (false). Opening fails when the device is missing
    // or busy: returns false and sets error.
    virtual bool SetPortOpen(bool open, std::string& error) = 0;

    // The kind of the last communication event; 2 means data received.
    virtual int16_t CommEvent() const = 0;
    virtual int32_t InBufferCount() const = 0;
    // All waiting bytes at once; nullopt when the read fails.
    virtual std::optional<std::string> Input() = 0;
    // Writes the bytes to the line, or into a bounded output backlog while
    // the line cannot take them now. False, with nothing written, on an
    // error or when the backlog is full (flow control holds the line).
    virtual bool Output(const std::string& bytes) = 0;

    virtual void SetEvents(SerialEvents* events) = 0;
};

}  // namespace tw
