#include "platform/qtsocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHostAddress>
#include <algorithm>
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

std::string ToStd(const QString& text) {
    return text.toStdString();
}

// Dotted IPv4 also for an IPv4-mapped IPv6 peer.
std::string AddressText(const QHostAddress& address) {
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    return ToStd(isIPv4 ? QHostAddress(ipv4).toString() : address.toString());
}

bool IsPortNumber(int32_t port) {
    return port >= 0 && port <= 65535;
}

// Qt's socket error code plus one, so that a reported error is never 0.
int32_t ErrorNumber(QAbstractSocket::SocketError error) {
    return static_cast<int32_t>(error) + 1;
}

const char* const kInvalidOperation = "Invalid operation at current state";

// The most a connection holds read but not yet handed on. Beyond it the
// bytes wait in the system and the sender is slowed down, so that a partner
// flooding its port costs bounded memory and hands over bounded chunks, each
// handled quickly enough for the other ports' events to come in between.
constexpr qint64 kReadBufferSize = qint64{64} * 1024;

// Connections a listener accepts per wake-up, so that a storm of them cannot
// hold the event loop; the rest wait for the next pass.
constexpr int kAcceptsPerWakeUp = 32;

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

// The listening address: every IPv4 address when text is empty.
bool ListenAddress(const std::string& text, int32_t port, sockaddr_storage& address,
                   socklen_t& length) {
    address = {};
    auto* ipv4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (text.empty() || inet_pton(AF_INET, text.c_str(), &ipv4->sin_addr) == 1) {
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

QHostAddress PeerOf(const sockaddr_storage& address, int32_t& port) {
    QHostAddress peer(reinterpret_cast<const sockaddr*>(&address));
    port = address.ss_family == AF_INET6
               ? ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port)
               : ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    return peer;
}

}  // namespace

QtSocket::QtSocket() = default;

QtSocket::~QtSocket() {
    Release(false);
}

int16_t QtSocket::State() const {
    if (m_Failed) {
        return StateError;
    }
    if (m_ListenDescriptor >= 0) {
        return StateListening;
    }
    if (!m_Connection) {
        return StateClosed;
    }
    if (m_PeerClosed) {
        return 8;
    }
    switch (m_Connection->state()) {
        case QAbstractSocket::HostLookupState:
            return 4;
        case QAbstractSocket::ConnectingState:
            return 6;
        case QAbstractSocket::ConnectedState:
            return StateConnected;
        case QAbstractSocket::BoundState:
            return 1;
        case QAbstractSocket::ListeningState:
            return StateListening;
        case QAbstractSocket::ClosingState:
            return 8;
        case QAbstractSocket::UnconnectedState:
            break;
    }
    // Gone without Close: the peer closed, or it failed and the error event
    // is still on its way.
    const auto error = m_Connection->error();
    const bool failed = error != QAbstractSocket::UnknownSocketError &&
                        error != QAbstractSocket::RemoteHostClosedError;
    return failed ? StateError : 8;
}

int32_t QtSocket::LocalPort() const {
    if (m_Connection && m_Connection->state() == QAbstractSocket::ConnectedState) {
        return m_Connection->localPort();
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
    if (State() != StateClosed) {
        error = kInvalidOperation;
        return false;
    }
    if (!IsPortNumber(m_LocalPort)) {
        error = "Invalid port number " + std::to_string(m_LocalPort);
        return false;
    }
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!ListenAddress(m_LocalAddress, m_LocalPort, address, length)) {
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
    m_ListenDescriptor = descriptor;
    PeerOf(address, m_LocalPort);
    m_ListenNotifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    // Taken on the next pass of the event loop, so that what the loop saw of
    // the port's partner in this pass (its close, say) is handled first.
    QObject::connect(m_ListenNotifier.get(), &QSocketNotifier::activated, &m_Context,
                     [this, generation] {
                         m_ListenNotifier->setEnabled(false);
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
        const int descriptor = accept4(m_ListenDescriptor, reinterpret_cast<sockaddr*>(&address),
                                       &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor < 0) {
            break;  // nothing waiting (or a transient error: the next wake-up tries again)
        }
        int32_t port = 0;
        const std::string peer = AddressText(PeerOf(address, port));
        Announce(descriptor, Peer{peer, port});
    }
    if (generation == m_Generation) {
        m_ListenNotifier->setEnabled(true);
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
    if (request == PendingRequests().end() || State() != StateClosed) {
        return false;
    }
    const Request taken = request->second;
    PendingRequests().erase(request);
    auto connection = std::make_unique<QTcpSocket>();
    if (!connection->setSocketDescriptor(taken.m_Descriptor)) {
        close(taken.m_Descriptor);
        return false;
    }
    m_LastPeer = Peer{taken.m_Address, taken.m_Port};
    TakeConnection(std::move(connection));
    return true;
}

void QtSocket::TakeConnection(std::unique_ptr<QTcpSocket> connection) {
    ++m_Generation;
    m_Connection = std::move(connection);
    m_Connection->setReadBufferSize(kReadBufferSize);
    m_Connection->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_Connection->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSendBufferSize);
    m_RemotePort = m_LastPeer.m_Port;
    KeepOwnDescriptor();
    WatchConnection();
    // Whatever happened before it was taken would otherwise go unannounced.
    const uint64_t generation = m_Generation;
    if (m_Connection->bytesAvailable() > 0) {
        QMetaObject::invokeMethod(
            &m_Context, [this, generation] { RaiseDataArrival(generation); }, Qt::QueuedConnection);
    }
    if (m_Connection->state() == QAbstractSocket::UnconnectedState) {
        QMetaObject::invokeMethod(
            &m_Context, [this, generation] { RaiseClose(generation); }, Qt::QueuedConnection);
    }
}

void QtSocket::WatchConnection() {
    const uint64_t generation = m_Generation;
    QTcpSocket* connection = m_Connection.get();
    QObject::connect(
        connection, &QTcpSocket::connected, &m_Context,
        [this, generation] { RaiseConnected(generation); }, Qt::QueuedConnection);
    QObject::connect(connection, &QTcpSocket::readyRead, &m_Context,
                     [this, generation] { RaiseDataArrival(generation); });
    QObject::connect(connection, &QTcpSocket::bytesWritten, &m_Context, [this](qint64 written) {
        m_Backlog -= std::min(m_Backlog, static_cast<size_t>(written));
    });
    QObject::connect(
        connection, &QTcpSocket::disconnected, &m_Context,
        [this, generation] { RaiseClose(generation); }, Qt::QueuedConnection);
    QObject::connect(
        connection, &QTcpSocket::errorOccurred, &m_Context,
        [this, generation](QAbstractSocket::SocketError error) {
            // The peer closing is reported by the close event alone.
            if (error != QAbstractSocket::RemoteHostClosedError && generation == m_Generation) {
                RaiseError(generation, ErrorNumber(error), ToStd(m_Connection->errorString()));
            }
        },
        Qt::QueuedConnection);
}

void QtSocket::KeepOwnDescriptor() {
    const auto descriptor = static_cast<int>(m_Connection->socketDescriptor());
    if (m_OwnDescriptor < 0 && descriptor >= 0) {
        m_OwnDescriptor = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    }
}

void QtSocket::Connect() {
    if (State() != StateClosed) {
        RaiseErrorLater(ErrorNumber(QAbstractSocket::OperationError), kInvalidOperation);
        return;
    }
    if (!IsPortNumber(m_RemotePort) || m_RemotePort == 0) {
        RaiseErrorLater(ErrorNumber(QAbstractSocket::UnsupportedSocketOperationError),
                        "Invalid port number " + std::to_string(m_RemotePort));
        return;
    }
    ++m_Generation;
    m_Connection = std::make_unique<QTcpSocket>();
    m_Connection->setReadBufferSize(kReadBufferSize);
    WatchConnection();
    m_Connection->connectToHost(QString::fromStdString(m_RemoteHost),
                                static_cast<quint16>(m_RemotePort));
}

void QtSocket::Close() {
    Release(false);
}

void QtSocket::Reset() {
    Release(true);
}

void QtSocket::Release(bool reset) {
    ++m_Generation;
    m_Failed = false;
    m_PeerClosed = false;
    m_Backlog = 0;
    if (m_ListenDescriptor >= 0) {
        m_ListenNotifier.reset();
        close(m_ListenDescriptor);
        m_ListenDescriptor = -1;
    }
    if (m_Connection) {
        m_Connection->disconnect();
        if (reset && m_OwnDescriptor >= 0) {
            const linger drop{1, 0};
            setsockopt(m_OwnDescriptor, SOL_SOCKET, SO_LINGER, &drop, sizeof drop);
        }
        m_Connection->abort();
        if (m_DeliveringData) {
            // Qt is still inside this socket's readyRead.
            m_Retired.push_back(std::move(m_Connection));
            QMetaObject::invokeMethod(
                &m_Context, [this] { m_Retired.clear(); }, Qt::QueuedConnection);
        }
        m_Connection.reset();
    }
    if (m_OwnDescriptor >= 0) {
        close(m_OwnDescriptor);
        m_OwnDescriptor = -1;
    }
}

std::string QtSocket::GetData() {
    if (!m_Connection) {
        return {};
    }
    const QByteArray data = m_Connection->readAll();
    return {data.constData(), static_cast<size_t>(data.size())};
}

bool QtSocket::SendData(const std::string& text) {
    if (!m_Connection || m_Connection->state() != QAbstractSocket::ConnectedState) {
        return false;
    }
    const size_t waiting = m_Backlog;
    if (waiting > 0 && waiting + text.size() > kWriteBacklogLimit) {
        return false;  // the partner does not read: refused whole
    }
    // Straight to the system while nothing waits in the backlog: the bytes
    // leave now rather than on the next event-loop pass, and Qt's write
    // notifier, whose every switch wakes the event loop, stays off. What the
    // system does not take goes through Qt's buffer, which keeps the order,
    // flushes when the socket can take more and reports errors as always.
    size_t sent = 0;
    if (!text.empty() && waiting == 0) {
        const ssize_t written = ::send(static_cast<int>(m_Connection->socketDescriptor()),
                                       text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        sent = written > 0 ? static_cast<size_t>(written) : 0;
    }
    const auto rest = static_cast<qint64>(text.size() - sent);
    if (rest == 0) {
        return true;
    }
    // Counted before the write: Qt may report bytes written from inside it.
    m_Backlog += static_cast<size_t>(rest);
    if (m_Connection->write(text.data() + sent, rest) != rest) {
        m_Backlog -= std::min(m_Backlog, static_cast<size_t>(rest));
        return false;
    }
    return true;
}

size_t QtSocket::BytesToWrite() const {
    return m_Backlog;
}

std::optional<size_t> QtSocket::UnacknowledgedBytes() const {
    int queued = 0;
    if (m_OwnDescriptor < 0 || ioctl(m_OwnDescriptor, SIOCOUTQ, &queued) != 0 || queued < 0) {
        return std::nullopt;
    }
    return static_cast<size_t>(queued) + BytesToWrite();
}

void QtSocket::RaiseConnected(uint64_t generation) {
    if (generation != m_Generation) {
        return;
    }
    m_Connection->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_Connection->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSendBufferSize);
    m_LastPeer = Peer{AddressText(m_Connection->peerAddress()), m_Connection->peerPort()};
    KeepOwnDescriptor();
    if (m_Events != nullptr) {
        m_Events->OnConnect();
    }
}

void QtSocket::RaiseDataArrival(uint64_t generation) {
    if (generation != m_Generation || !m_Connection) {
        return;
    }
    const qint64 waiting = m_Connection->bytesAvailable();
    if (waiting > 0 && m_Events != nullptr) {
        m_DeliveringData = true;
        m_Events->OnDataArrival(waiting);
        m_DeliveringData = false;
    }
}

void QtSocket::RaiseClose(uint64_t generation) {
    if (generation != m_Generation || m_PeerClosed) {
        return;
    }
    m_PeerClosed = true;
    if (m_Events != nullptr) {
        m_Events->OnClose();
    }
}

void QtSocket::RaiseError(uint64_t generation, int32_t number, const std::string& description) {
    if (generation != m_Generation) {
        return;
    }
    m_Failed = true;
    if (m_Events != nullptr) {
        m_Events->OnError(number, description);
    }
}

void QtSocket::RaiseErrorLater(int32_t number, const std::string& description) {
    const uint64_t generation = m_Generation;
    QMetaObject::invokeMethod(
        &m_Context,
        [this, generation, number, description] { RaiseError(generation, number, description); },
        Qt::QueuedConnection);
}

}  // namespace tw
