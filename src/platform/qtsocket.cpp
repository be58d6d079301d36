#include "platform/qtsocket.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

namespace tw {

namespace {

// A connection accepted by a listener and not yet taken by a data object. It
// exists only while OnConnectionRequest runs.
struct Request {
    int m_Descriptor = -1;
    std::string m_Address;
    int32_t m_Port = 0;
};

std::map<int64_t, Request>& PendingRequests() {
    static std::map<int64_t, Request> requests;
    return requests;
}

int64_t NextRequestId() {
    static int64_t lastId = 0;
    return ++lastId;
}

const char* const kInvalidOperation = "Invalid operation at current state";
constexpr int kInvalidOperationNumber = 20;  // not an errno: no system call failed

// Connections a listener accepts per wake-up, so that a storm of them cannot
// hold the event loop; the rest wait for the next pass.
constexpr int kAcceptsPerWakeUp = 32;
// How long a listener waits when the process is out of descriptors.
constexpr int kAcceptRetryMs = 100;

bool IsPortNumber(int32_t port) {
    return port >= 0 && port <= 65535;
}

// Why listening failed, in the words the log has always used.
std::string ListenErrorText(int error) {
    switch (error) {
        case EADDRINUSE:
            return "The bound address is already in use";
        case EACCES:
            return "The address is protected";
        case EADDRNOTAVAIL:
            return "The address is not available";
        default:
            return std::strerror(error);
    }
}

// Why a connection failed, in the words the log has always used.
std::string ConnectionErrorText(int error) {
    switch (error) {
        case ECONNREFUSED:
            return "Connection refused";
        case ETIMEDOUT:
            return "Connection timed out";
        case ENETUNREACH:
            return "Network unreachable";
        case EHOSTUNREACH:
            return "Host unreachable";
        default:
            return std::strerror(error);
    }
}

// A dotted IPv4 or an IPv6 address with the port; false for anything else.
bool SocketAddress(const std::string& text, int32_t port, sockaddr_storage& address,
                   socklen_t& length) {
    address = {};
    auto* ipv4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (inet_pton(AF_INET, text.c_str(), &ipv4->sin_addr) == 1) {
        ipv4->sin_family = AF_INET;
        ipv4->sin_port = htons(static_cast<uint16_t>(port));
        length = sizeof(sockaddr_in);
        return true;
    }
    if (inet_pton(AF_INET6, text.c_str(), &ipv6->sin6_addr) == 1) {
        ipv6->sin6_family = AF_INET6;
        ipv6->sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

// Dotted IPv4 also for an IPv4-mapped IPv6 address; the port beside it.
std::string AddressText(const sockaddr_storage& address, int32_t& port) {
    const QHostAddress host(reinterpret_cast<const sockaddr*>(&address));
    port = address.ss_family == AF_INET6
               ? ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port)
               : ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    bool isIPv4 = false;
    const quint32 ipv4 = host.toIPv4Address(&isIPv4);
    return (isIPv4 ? QHostAddress(ipv4).toString() : host.toString()).toStdString();
}

void SetIntOption(int descriptor, int level, int name, int value) {
    setsockopt(descriptor, level, name, &value, sizeof value);
}

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// The partner ended the connection, in order or with a reset: reported by
// the close event alone.
bool PartnerGone(int error) {
    return error == ECONNRESET || error == EPIPE;
}

}  // namespace

QtSocket::QtSocket() = default;

QtSocket::~QtSocket() {
    Release(false);
}

int16_t QtSocket::State() const {
    switch (m_Phase) {
        case Phase::Closed:
            return StateClosed;
        case Phase::Listening:
            return StateListening;
        case Phase::Resolving:
            return 4;
        case Phase::Connecting:
            return 6;
        case Phase::Connected:
            return StateConnected;
        case Phase::PeerClosed:
            return 8;
        case Phase::Failed:
            return StateError;
    }
    return StateClosed;
}

int32_t QtSocket::LocalPort() const {
    if (m_Phase == Phase::Connected) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        int32_t port = 0;
        if (getsockname(m_Descriptor, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            AddressText(address, port);
            return port;
        }
    }
    return m_LocalPort;
}

void QtSocket::SetLocalPort(int32_t port) {
    m_LocalPort = port;
}

void QtSocket::SetLocalAddress(const std::string& address) {
    m_LocalAddress = address;
}

std::string QtSocket::RemoteHost() const {
    return m_RemoteHost;
}

void QtSocket::SetRemoteHost(const std::string& host) {
    m_RemoteHost = host;
}

int32_t QtSocket::RemotePort() const {
    return m_Requester ? m_Requester->m_Port : m_RemotePort;
}

void QtSocket::SetRemotePort(int32_t port) {
    m_RemotePort = port;
}

std::string QtSocket::RemoteHostIP() const {
    return m_Requester ? m_Requester->m_Address : m_LastPeer.m_Address;
}

bool QtSocket::Listen(std::string& error) {
    if (m_Phase != Phase::Closed) {
        error = kInvalidOperation;
        return false;
    }
    if (!IsPortNumber(m_LocalPort)) {
        error = "Invalid port number " + std::to_string(m_LocalPort);
        return false;
    }
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!SocketAddress(m_LocalAddress.empty() ? "0.0.0.0" : m_LocalAddress, m_LocalPort, address,
                       length)) {
        error = "Invalid listen address " + m_LocalAddress;
        return false;
    }
    const int descriptor = socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (descriptor < 0 || setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        (address.ss_family == AF_INET6 &&
         setsockopt(descriptor, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0) ||
        bind(descriptor, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        listen(descriptor, 50) != 0 ||
        getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = ListenErrorText(errno);
        if (descriptor >= 0) {
            close(descriptor);
        }
        return false;
    }
    const uint64_t generation = ++m_Generation;
    m_Descriptor = descriptor;
    m_Phase = Phase::Listening;
    AddressText(address, m_LocalPort);
    m_ReadNotifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    // Taken on the next pass of the event loop, so that what the loop saw of
    // the port's partner in this pass (its close, say) is handled first.
    QObject::connect(m_ReadNotifier.get(), &QSocketNotifier::activated, &m_Context,
                     [this, generation] {
                         m_ReadNotifier->setEnabled(false);
                         QMetaObject::invokeMethod(
                             &m_Context, [this, generation] { AcceptWaiting(generation); },
                             Qt::QueuedConnection);
                     });
    return true;
}

// The peer's address comes from accept itself, which gives it even for a
// connection that its partner has reset meanwhile.
void QtSocket::AcceptWaiting(uint64_t generation) {
    for (int taken = 0; taken < kAcceptsPerWakeUp && generation == m_Generation; ++taken) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int descriptor = accept4(m_Descriptor, reinterpret_cast<sockaddr*>(&address), &length,
                                       SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The connections stay queued; trying again at once would spin.
                QTimer::singleShot(kAcceptRetryMs, &m_Context, [this, generation] {
                    if (generation == m_Generation) {
                        m_ReadNotifier->setEnabled(true);
                    }
                });
                return;
            }
            break;  // nothing waiting (or a transient error: the next wake-up tries again)
        }
        Peer peer;
        peer.m_Address = AddressText(address, peer.m_Port);
        Announce(descriptor, peer);
    }
    if (generation == m_Generation) {
        m_ReadNotifier->setEnabled(true);
    }
}

void QtSocket::Announce(int descriptor, const Peer& peer) {
    const int64_t requestId = NextRequestId();
    PendingRequests()[requestId] = Request{descriptor, peer.m_Address, peer.m_Port};
    m_Requester = peer;
    if (m_Events != nullptr) {
        m_Events->OnConnectionRequest(requestId);
    }
    m_Requester.reset();
    // Not taken: refuse it, so the partner sees the connection closed.
    auto leftOver = PendingRequests().find(requestId);
    if (leftOver != PendingRequests().end()) {
        close(leftOver->second.m_Descriptor);
        PendingRequests().erase(leftOver);
    }
}

bool QtSocket::Accept(int64_t requestId) {
    auto request = PendingRequests().find(requestId);
    if (request == PendingRequests().end() || m_Phase != Phase::Closed) {
        return false;
    }
    const Request taken = request->second;
    PendingRequests().erase(request);
    m_LastPeer = Peer{taken.m_Address, taken.m_Port};
    m_RemotePort = taken.m_Port;
    TakeDescriptor(taken.m_Descriptor, Phase::Connected);
    return true;
}

void QtSocket::TakeDescriptor(int descriptor, Phase phase) {
    const uint64_t generation = ++m_Generation;
    m_Descriptor = descriptor;
    m_Phase = phase;
    m_PartnerReset = false;
    SetIntOption(descriptor, IPPROTO_TCP, TCP_NODELAY, 1);
    SetIntOption(descriptor, SOL_SOCKET, SO_SNDBUF, kSendBufferSize);
    m_ReadNotifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    m_WriteNotifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Write);
    m_ReadNotifier->setEnabled(phase == Phase::Connected);
    m_WriteNotifier->setEnabled(phase == Phase::Connecting);
    QObject::connect(m_ReadNotifier.get(), &QSocketNotifier::activated, &m_Context,
                     [this, generation] {
                         if (generation == m_Generation) {
                             OnReadable();
                         }
                     });
    QObject::connect(m_WriteNotifier.get(), &QSocketNotifier::activated, &m_Context,
                     [this, generation] {
                         if (generation == m_Generation) {
                             OnWritable();
                         }
                     });
}

void QtSocket::OnReadable() {
    if (m_ReadBuffer.size() >= kReadBufferSize) {
        m_ReadNotifier->setEnabled(false);  // until GetData takes what waits
        return;
    }
    static char chunk[kReadBufferSize];
    const ssize_t got = recv(m_Descriptor, chunk, kReadBufferSize - m_ReadBuffer.size(), 0);
    if (got < 0 && WouldBlock(errno)) {
        return;
    }
    m_Delivering = true;
    if (got > 0) {
        m_ReadBuffer.append(chunk, static_cast<size_t>(got));
        if (m_Events != nullptr) {
            m_Events->OnDataArrival(static_cast<int64_t>(m_ReadBuffer.size()));
        }
    } else if (got == 0 || PartnerGone(errno)) {
        m_PartnerReset = m_PartnerReset || (got < 0 && errno == ECONNRESET);
        m_Phase = Phase::PeerClosed;
        m_ReadNotifier->setEnabled(false);
        m_WriteNotifier->setEnabled(false);
        if (m_Events != nullptr) {
            m_Events->OnClose();
        }
    } else {
        Fail(errno);
    }
    m_Delivering = false;
}

void QtSocket::OnWritable() {
    m_Delivering = true;
    if (m_Phase == Phase::Connecting) {
        CompleteConnect();
    } else {
        WriteBacklog();
    }
    m_Delivering = false;
}

void QtSocket::CompleteConnect() {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(m_Descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    if (error != 0) {
        m_ReadNotifier->setEnabled(false);
        m_WriteNotifier->setEnabled(false);
        close(m_Descriptor);
        m_Descriptor = -1;
        Finish(ConnectionErrorText(error), error);
        return;
    }
    sockaddr_storage address{};
    length = sizeof address;
    if (getpeername(m_Descriptor, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        int32_t port = 0;
        m_LastPeer = Peer{AddressText(address, port), port};
    }
    m_Phase = Phase::Connected;
    m_WriteNotifier->setEnabled(false);
    m_ReadNotifier->setEnabled(true);
    if (m_Events != nullptr) {
        m_Events->OnConnect();
    }
}

// Sends what the system takes now. A send that meets the partner's reset
// takes the reset's error away from the read side, so it is noted here.
ssize_t QtSocket::SendNow(const char* bytes, size_t size) {
    const ssize_t sent = send(m_Descriptor, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && errno == ECONNRESET) {
        m_PartnerReset = true;
    }
    return sent;
}

void QtSocket::WriteBacklog() {
    const ssize_t sent = SendNow(m_Backlog.data(), m_Backlog.size());
    if (sent < 0) {
        if (!WouldBlock(errno)) {
            // The partner is gone; the read side reports it.
            m_WriteNotifier->setEnabled(false);
        }
        return;
    }
    m_Backlog.erase(0, static_cast<size_t>(sent));
    m_WriteNotifier->setEnabled(!m_Backlog.empty());
}

void QtSocket::Fail(int error) {
    m_Phase = Phase::Failed;
    m_ReadNotifier->setEnabled(false);
    m_WriteNotifier->setEnabled(false);
    if (m_Events != nullptr) {
        m_Events->OnError(error, ConnectionErrorText(error));
    }
}

void QtSocket::Connect() {
    if (m_Phase != Phase::Closed) {
        RaiseErrorLater(kInvalidOperationNumber, kInvalidOperation);
        return;
    }
    if (!IsPortNumber(m_RemotePort) || m_RemotePort == 0) {
        m_Phase = Phase::Failed;
        RaiseErrorLater(kInvalidOperationNumber,
                        "Invalid port number " + std::to_string(m_RemotePort));
        return;
    }
    const uint64_t generation = ++m_Generation;
    sockaddr_storage literal{};
    socklen_t length = 0;
    if (SocketAddress(m_RemoteHost, m_RemotePort, literal, length)) {
        m_Addresses = {m_RemoteHost};
        ConnectToNextAddress();
        return;
    }
    m_Phase = Phase::Resolving;
    m_LookupId =
        QHostInfo::lookupHost(QString::fromStdString(m_RemoteHost), &m_Context,
                              [this, generation](const QHostInfo& found) {
                                  if (generation != m_Generation) {
                                      return;
                                  }
                                  m_LookupId = -1;
                                  m_Addresses.clear();
                                  for (const QHostAddress& address : found.addresses()) {
                                      m_Addresses.push_back(address.toString().toStdString());
                                  }
                                  if (m_Addresses.empty()) {
                                      m_Phase = Phase::Failed;
                                      if (m_Events != nullptr) {
                                          m_Events->OnError(EHOSTUNREACH, "Host not found");
                                      }
                                      return;
                                  }
                                  ConnectToNextAddress();
                              });
}

// Starts connecting to the first address still to try; when none is left, the
// last failure is reported from the event loop.
void QtSocket::ConnectToNextAddress() {
    int error = EHOSTUNREACH;
    while (!m_Addresses.empty()) {
        sockaddr_storage address{};
        socklen_t length = 0;
        const bool valid = SocketAddress(m_Addresses.front(), m_RemotePort, address, length);
        m_Addresses.erase(m_Addresses.begin());
        const int descriptor =
            valid ? socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0) : -1;
        if (descriptor < 0) {
            continue;
        }
        if (connect(descriptor, reinterpret_cast<const sockaddr*>(&address), length) == 0 ||
            errno == EINPROGRESS) {
            // Completed, even at once, by the write notifier.
            TakeDescriptor(descriptor, Phase::Connecting);
            return;
        }
        error = errno;
        close(descriptor);
    }
    m_Phase = Phase::Failed;
    RaiseErrorLater(error, ConnectionErrorText(error));
}

// One address failed after trying: the next one, or the failure.
void QtSocket::Finish(const std::string& error, int number) {
    if (!m_Addresses.empty()) {
        DropNotifiers();
        ConnectToNextAddress();
        return;
    }
    m_Phase = Phase::Failed;
    m_ReadNotifier->setEnabled(false);
    m_WriteNotifier->setEnabled(false);
    if (m_Events != nullptr) {
        m_Events->OnError(number, error);
    }
}

void QtSocket::Close() {
    Release(false);
}

void QtSocket::Reset() {
    Release(true);
}

void QtSocket::DropNotifiers() {
    for (std::unique_ptr<QSocketNotifier>* notifier : {&m_ReadNotifier, &m_WriteNotifier}) {
        if (!*notifier) {
            continue;
        }
        (*notifier)->setEnabled(false);
        if (m_Delivering) {
            // Qt is still inside one of them.
            m_Retired.push_back(std::move(*notifier));
            QMetaObject::invokeMethod(
                &m_Context, [this] { m_Retired.clear(); }, Qt::QueuedConnection);
        }
        notifier->reset();
    }
}

void QtSocket::Release(bool reset) {
    ++m_Generation;
    if (m_LookupId >= 0) {
        QHostInfo::abortHostLookup(m_LookupId);
        m_LookupId = -1;
    }
    DropNotifiers();
    if (m_Descriptor >= 0) {
        if (reset && m_Phase != Phase::Listening) {
            const linger drop{1, 0};
            setsockopt(m_Descriptor, SOL_SOCKET, SO_LINGER, &drop, sizeof drop);
        }
        close(m_Descriptor);
        m_Descriptor = -1;
    }
    m_Phase = Phase::Closed;
    m_Addresses.clear();
    m_ReadBuffer.clear();
    m_Backlog.clear();
}

std::string QtSocket::GetData() {
    std::string data;
    data.swap(m_ReadBuffer);
    if (m_Phase == Phase::Connected && m_ReadNotifier && !m_ReadNotifier->isEnabled()) {
        m_ReadNotifier->setEnabled(true);
    }
    return data;
}

bool QtSocket::SendData(const std::string& text) {
    if (m_Phase != Phase::Connected) {
        return false;
    }
    if (!m_Backlog.empty() && m_Backlog.size() + text.size() > kWriteBacklogLimit) {
        return false;  // the partner does not read: refused whole
    }
    size_t sent = 0;
    if (m_Backlog.empty() && !text.empty()) {
        const ssize_t written = SendNow(text.data(), text.size());
        if (written < 0 && !WouldBlock(errno)) {
            return false;  // the partner is gone; the read side reports it
        }
        sent = written > 0 ? static_cast<size_t>(written) : 0;
    }
    if (sent < text.size()) {
        m_Backlog.append(text, sent);
        m_WriteNotifier->setEnabled(true);
    }
    return true;
}

std::optional<size_t> QtSocket::UnacknowledgedBytes() const {
    int queued = 0;
    if (m_Descriptor < 0 || m_Phase == Phase::Listening ||
        ioctl(m_Descriptor, SIOCOUTQ, &queued) != 0 || queued < 0) {
        return std::nullopt;
    }
    return static_cast<size_t>(queued) + m_Backlog.size();
}

void QtSocket::RaiseErrorLater(int32_t number, const std::string& description) {
    const uint64_t generation = m_Generation;
    QMetaObject::invokeMethod(
        &m_Context,
        [this, generation, number, description] {
            if (generation != m_Generation) {
                return;
            }
            if (m_Events != nullptr) {
                m_Events->OnError(number, description);
            }
        },
        Qt::QueuedConnection);
}

}  // namespace tw
