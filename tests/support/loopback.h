// Plain sockets on 127.0.0.1 for the tests that talk to a gateway over the
// network: a free port, and a client that can do what a well-behaved one
// would not (stop reading, reset).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "support/process.h"

namespace tw::test {

inline sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// The local port a socket is bound to, 0 when none.
inline int LocalPortOf(int descriptor) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    return getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) == 0
               ? ntohs(address.sin_port)
               : 0;
}

// A port nobody listens on right now.
inline int FreePort() {
    const int descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(0);
    const int port =
        bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
            ? LocalPortOf(descriptor)
            : 0;
    close(descriptor);
    return port;
}

class RawSocket {
  public:
    // receiveBuffer: SO_RCVBUF in bytes (0: the system's), set before connecting.
    explicit RawSocket(int receiveBuffer = 0) : m_ReceiveBuffer(receiveBuffer) {}
    ~RawSocket() { Close(); }
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    // Tries until port accepts (or timeoutMs passed; 0: once).
    bool Connect(int port, int timeoutMs = 10000) {
        return WaitFor(
            [&] {
                Close();
                m_Descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                if (m_ReceiveBuffer > 0) {
                    setsockopt(m_Descriptor, SOL_SOCKET, SO_RCVBUF, &m_ReceiveBuffer,
                               sizeof m_ReceiveBuffer);
                }
                const sockaddr_in address = Loopback(port);
                return connect(m_Descriptor, reinterpret_cast<const sockaddr*>(&address),
                               sizeof address) == 0;
            },
            timeoutMs);
    }
    bool Send(const std::string& bytes) const {
        return send(m_Descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Collects bytes until they equal expected, or timeoutMs passed.
    std::string Receive(const std::string& expected, int timeoutMs = 10000) {
        WaitFor([&] { return ReadAvailable() == expected; }, timeoutMs);
        return m_Received;
    }
    // Collects bytes until they hold at least count line feeds, or timeoutMs
    // passed.
    std::string ReceiveLines(size_t count, int timeoutMs = 10000) {
        WaitFor(
            [&] {
                const std::string& received = ReadAvailable();
                return static_cast<size_t>(std::count(received.begin(), received.end(), '\n')) >=
                       count;
            },
            timeoutMs);
        return m_Received;
    }
    // Whatever has arrived so far, read without waiting.
    const std::string& ReadAvailable() {
        pollfd ready{m_Descriptor, POLLIN, 0};
        char chunk[4096];
        while (m_Descriptor >= 0 && poll(&ready, 1, 0) == 1) {
            const ssize_t got = recv(m_Descriptor, chunk, sizeof chunk, 0);
            if (got <= 0) {
                break;
            }
            m_Received.append(chunk, static_cast<size_t>(got));
        }
        return m_Received;
    }
    void ForgetReceived() { m_Received.clear(); }
    // Whether the peer has closed the connection (after what it sent, read now).
    bool PeerClosed() {
        ReadAvailable();
        pollfd ready{m_Descriptor, POLLIN, 0};
        char byte = 0;
        return poll(&ready, 1, 0) == 1 && recv(m_Descriptor, &byte, 1, MSG_PEEK) == 0;
    }
    // Closes with a reset instead of an orderly close.
    void Reset() {
        const linger abort{1, 0};
        setsockopt(m_Descriptor, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        Close();
    }
    void Close() {
        if (m_Descriptor >= 0) {
            close(m_Descriptor);
            m_Descriptor = -1;
        }
    }
    int Descriptor() const { return m_Descriptor; }
    // The local port of the connection, 0 when not connected.
    int LocalPort() const { return LocalPortOf(m_Descriptor); }

  private:
    int m_ReceiveBuffer;
    int m_Descriptor = -1;
    std::string m_Received;
};

}  // namespace tw::test
