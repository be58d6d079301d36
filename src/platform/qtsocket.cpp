#include "platform/qtsocket.h"

#include <sys/socket.h>

#include <QHostAddress>
#include <map>
#include <utility>

namespace tw {

namespace {

// Connections announced by a listener and not yet taken by a data object.
// They exist only while OnConnectionRequest runs.
std::map<int64_t, std::unique_ptr<QTcpSocket>>& PendingRequests() {
    static std::map<int64_t, std::unique_ptr<QTcpSocket>> requests;
    return requests;
}

int64_t NextRequestId() {
    static int64_t lastId = 0;
    return ++lastId;
}

std::string ToStd(const QString& text) {
    return text.toStdString();
}

std::string PeerAddress(const QTcpSocket& socket) {
    QHostAddress address = socket.peerAddress();
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

}  // namespace

QtSocket::QtSocket() = default;

QtSocket::~QtSocket() {
    Release();
}

int16_t QtSocket::State() const {
    if (m_Failed) {
        return StateError;
    }
    if (m_Server) {
        return m_Server->isListening() ? StateListening : StateClosed;
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
    if (m_Server && m_Server->isListening()) {
        return m_Server->serverPort();
    }
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
    QHostAddress address(QHostAddress::AnyIPv4);
    if (!m_LocalAddress.empty() && !address.setAddress(QString::fromStdString(m_LocalAddress))) {
        error = "Invalid listen address " + m_LocalAddress;
        return false;
    }
    auto server = std::make_unique<QTcpServer>();
    if (!server->listen(address, static_cast<quint16>(m_LocalPort))) {
        error = ToStd(server->errorString());
        return false;
    }
    const uint64_t generation = ++m_Generation;
    m_Server = std::move(server);
    QObject::connect(
        m_Server.get(), &QTcpServer::newConnection, &m_Context,
        [this, generation] { AnnounceRequests(generation); }, Qt::QueuedConnection);
    return true;
}

void QtSocket::AnnounceRequests(uint64_t generation) {
    while (generation == m_Generation && m_Server && m_Server->hasPendingConnections()) {
        std::unique_ptr<QTcpSocket> request(m_Server->nextPendingConnection());
        request->setParent(nullptr);
        m_Requester = Peer{PeerAddress(*request), request->peerPort()};
        const int64_t requestId = NextRequestId();
        PendingRequests()[requestId] = std::move(request);
        if (m_Events != nullptr) {
            m_Events->OnConnectionRequest(requestId);
        }
        m_Requester.reset();
        // Not taken: refuse it, so the partner sees the connection closed.
        auto leftOver = PendingRequests().find(requestId);
        if (leftOver != PendingRequests().end()) {
            leftOver->second->abort();
            PendingRequests().erase(leftOver);
        }
    }
}

bool QtSocket::Accept(int64_t requestId) {
    auto request = PendingRequests().find(requestId);
    if (request == PendingRequests().end() || State() != StateClosed) {
        return false;
    }
    std::unique_ptr<QTcpSocket> connection = std::move(request->second);
    PendingRequests().erase(request);
    TakeConnection(std::move(connection));
    return true;
}

void QtSocket::TakeConnection(std::unique_ptr<QTcpSocket> connection) {
    ++m_Generation;
    m_Connection = std::move(connection);
    m_Connection->setReadBufferSize(kReadBufferSize);
    m_Connection->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_LastPeer = Peer{PeerAddress(*m_Connection), m_Connection->peerPort()};
    m_RemotePort = m_LastPeer.m_Port;
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
    Release();
}

void QtSocket::Release() {
    ++m_Generation;
    m_Failed = false;
    m_PeerClosed = false;
    if (m_Server) {
        m_Server->disconnect();
        m_Server->close();
        m_Server.reset();
    }
    if (m_Connection) {
        m_Connection->disconnect();
        m_Connection->abort();
        if (m_DeliveringData) {
            // Qt is still inside this socket's readyRead.
            m_Retired.push_back(std::move(m_Connection));
            QMetaObject::invokeMethod(
                &m_Context, [this] { m_Retired.clear(); }, Qt::QueuedConnection);
        }
        m_Connection.reset();
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
    // Straight to the kernel while nothing waits in Qt's buffer: the bytes
    // leave now rather than on the next event-loop pass, and Qt's write
    // notifier, whose every switch wakes the event loop, stays off. What the
    // kernel does not take, or a failure, goes through Qt, which keeps the
    // order and reports the error as always.
    size_t sent = 0;
    if (!text.empty() && m_Connection->bytesToWrite() == 0) {
        const ssize_t written = ::send(static_cast<int>(m_Connection->socketDescriptor()),
                                       text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        sent = written > 0 ? static_cast<size_t>(written) : 0;
    }
    const auto rest = static_cast<qint64>(text.size() - sent);
    return rest == 0 || m_Connection->write(text.data() + sent, rest) == rest;
}

void QtSocket::RaiseConnected(uint64_t generation) {
    if (generation != m_Generation) {
        return;
    }
    m_Connection->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_LastPeer = Peer{PeerAddress(*m_Connection), m_Connection->peerPort()};
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
