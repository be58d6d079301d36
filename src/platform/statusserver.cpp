#include "platform/statusserver.h"

#include <unistd.h>

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <algorithm>

namespace tw {
namespace {

// A request that does not fit stalls its own connection until the idle
// timeout instead of growing without end.
constexpr qint64 kReadBufferSize = 16 * 1024;
// Watchers only listen; anything they send beyond this closes them.
constexpr quint64 kMaxIncomingMessage = 4 * 1024;
// Pings make the socket notice a watcher that vanished while the trace is quiet.
constexpr int kPingMs = 30000;
const char* const kIdleTimerName = "StatusIdle";

std::string AddressText(const QHostAddress& address) {
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    return (isIPv4 ? QHostAddress(ipv4).toString() : address.toString()).toStdString();
}

void RestartIdleTimer(QObject& connection) {
    if (auto* idle = connection.findChild<QTimer*>(kIdleTimerName)) {
        idle->start();
    }
}

}  // namespace

class StatusServer::Listener : public QTcpServer {
  public:
    Listener(StatusServer& owner, QObject* parent) : QTcpServer(parent), m_Owner(owner) {}
    void Pass(QTcpSocket* socket) { addPendingConnection(socket); }

  protected:
    void incomingConnection(qintptr descriptor) override { m_Owner.Admit(descriptor); }

  private:
    StatusServer& m_Owner;
};

class StatusServer::Http : public QAbstractHttpServer {
  public:
    explicit Http(StatusServer& owner) : m_Owner(owner) {}
    using QAbstractHttpServer::makeResponder;

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        return m_Owner.Answer(request, socket);
    }
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
    }

  private:
    StatusServer& m_Owner;
};

StatusServer::StatusServer(StatusReport& report, TraceFeed& feed,
                           std::function<void(const std::string&)> log)
    : m_Report(report), m_Feed(feed), m_Log(std::move(log)), m_Http(std::make_unique<Http>(*this)) {
    m_Listener = new Listener(*this, m_Http.get());
    QObject::connect(m_Http.get(), &QAbstractHttpServer::newWebSocketConnection, m_Http.get(),
                     [this] { TakeWebSockets(); });
    m_BatchTimer.setSingleShot(true);
    m_BatchTimer.setInterval(kBatchMs);
    QObject::connect(&m_BatchTimer, &QTimer::timeout, [this] { HandOutTrace(); });
    m_Feed.SetQueuedHandler([this] {
        if (!m_BatchTimer.isActive()) {
            m_BatchTimer.start();
        }
    });
    m_PingTimer.setInterval(kPingMs);
    QObject::connect(&m_PingTimer, &QTimer::timeout, [this] {
        for (QWebSocket* watcher : m_Watchers) {
            watcher->ping();
        }
    });
}

StatusServer::~StatusServer() {
    m_Feed.SetQueuedHandler(nullptr);
    m_Feed.SetWatcherCount(0);
    for (QWebSocket* watcher : m_Watchers) {
        QObject::disconnect(watcher, nullptr, nullptr, nullptr);
    }
    // Connections and watchers are the HTTP server's children and go with it.
    m_Http.reset();
}

bool StatusServer::Listen(const std::string& address, int32_t port, const HostFilter& allowed,
                          std::string& error) {
    m_Allowed = allowed;
    QHostAddress host;
    if (!host.setAddress(QString::fromStdString(address))) {
        error = "Invalid listen address " + address;
        return false;
    }
    if (!m_Listener->listen(host, static_cast<quint16>(port))) {
        error = m_Listener->errorString().toStdString();
        return false;
    }
    m_Http->bind(m_Listener);
    return true;
}

std::string StatusServer::Peer(const QTcpSocket& socket) {
    return AddressText(socket.peerAddress()) + ":" + std::to_string(socket.peerPort());
}

void StatusServer::Admit(qintptr descriptor) {
    auto* socket = new QTcpSocket(m_Listener);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(static_cast<int>(descriptor));
        return;
    }
    if (!IsHostAllowed(m_Allowed, AddressText(socket->peerAddress()))) {
        m_Log("Refused status connection from " + Peer(*socket) + " (not in StatusAllowedHosts)");
        socket->abort();
        socket->deleteLater();
        return;
    }
    ForgetClosedConnections();
    if (m_Connections.size() >= static_cast<size_t>(kMaxConnections)) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    socket->setReadBufferSize(kReadBufferSize);
    m_Connections.emplace_back(socket);
    auto* idle = new QTimer(socket);
    idle->setObjectName(kIdleTimerName);
    idle->setSingleShot(true);
    idle->setInterval(kIdleMs);
    QObject::connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
    idle->start();
    m_Listener->Pass(socket);
}

void StatusServer::ForgetClosedConnections() {
    std::erase_if(m_Connections,
                  [](const QPointer<QTcpSocket>& connection) { return connection.isNull(); });
}

bool StatusServer::Answer(const QHttpServerRequest& request, QTcpSocket* socket) {
    RestartIdleTimer(*socket);
    // A client that asks without reading the answers gets no more of them.
    if (socket->bytesToWrite() > kMaxBacklog) {
        socket->abort();
        return true;
    }
    // The request that opens a trace WebSocket gets no HTTP answer: the
    // server hands the connection over once this returns.
    if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0) {
        return true;
    }
    QHttpServerResponder responder = Http::makeResponder(request, socket);
    using Status = QHttpServerResponder::StatusCode;
    if (request.method() != QHttpServerRequest::Method::Get) {
        responder.write("Only GET is served\n",
                        {{"Content-Type", "text/plain; charset=utf-8"}, {"Allow", "GET"}},
                        Status::MethodNotAllowed);
        return true;
    }
    const QString path = request.url().path();
    std::string body;
    QByteArray type;
    if (path == QLatin1String("/") || path == QLatin1String("/trace")) {
        body = m_Report.Page(path == QLatin1String("/trace"));
        type = "text/html; charset=utf-8";
    } else if (path == QLatin1String("/api/status")) {
        body = m_Report.Json();
        type = "application/json";
    } else if (path == QLatin1String("/metrics")) {
        body = m_Report.Metrics();
        type = "text/plain; version=0.0.4; charset=utf-8";
    } else {
        responder.write("Not found\n", {{"Content-Type", "text/plain; charset=utf-8"}},
                        Status::NotFound);
        return true;
    }
    responder.write(QByteArray(body.data(), static_cast<qsizetype>(body.size())),
                    {{"Content-Type", type}, {"Cache-Control", "no-store"}});
    return true;
}

void StatusServer::TakeWebSockets() {
    while (m_Http->hasPendingWebSocketConnections()) {
        QWebSocket* watcher = m_Http->nextPendingWebSocketConnection().release();
        watcher->setParent(m_Http.get());
        // The connection serves the trace from now on; no HTTP idle timeout.
        ForgetClosedConnections();
        for (QTcpSocket* connection : m_Connections) {
            if (connection->peerPort() == watcher->peerPort() &&
                connection->peerAddress() == watcher->peerAddress()) {
                delete connection->findChild<QTimer*>(kIdleTimerName);
            }
        }
        // A page of another site in the operator's browser may open the
        // socket too; only the status page's own origin (or a client that
        // names none) may watch.
        const bool sameOrigin = IsSameOrigin(watcher->origin().toStdString(),
                                             watcher->request().rawHeader("Host").toStdString());
        if (watcher->requestUrl().path() != QLatin1String("/trace") || !sameOrigin ||
            m_Watchers.size() >= static_cast<size_t>(kMaxWatchers)) {
            watcher->abort();
            watcher->deleteLater();
            continue;
        }
        Watch(watcher);
    }
}

void StatusServer::Watch(QWebSocket* watcher) {
    watcher->setMaxAllowedIncomingFrameSize(kMaxIncomingMessage);
    watcher->setMaxAllowedIncomingMessageSize(kMaxIncomingMessage);
    // Lines queued before this watcher came go out first, so that it gets
    // each line once: in the kept lines.
    HandOutTrace();
    m_Watchers.push_back(watcher);
    m_Feed.SetWatcherCount(static_cast<int>(m_Watchers.size()));
    QObject::connect(watcher, &QWebSocket::disconnected, watcher,
                     [this, watcher] { Forget(watcher); });
    const std::string kept = m_Feed.KeptText();
    if (!kept.empty()) {
        watcher->sendTextMessage(
            QString::fromUtf8(kept.data(), static_cast<qsizetype>(kept.size())));
    }
    if (!m_PingTimer.isActive()) {
        m_PingTimer.start();
    }
}

void StatusServer::Forget(QWebSocket* watcher) {
    const auto found = std::find(m_Watchers.begin(), m_Watchers.end(), watcher);
    if (found == m_Watchers.end()) {
        return;
    }
    m_Watchers.erase(found);
    m_Feed.SetWatcherCount(static_cast<int>(m_Watchers.size()));
    watcher->deleteLater();
    if (m_Watchers.empty()) {
        m_PingTimer.stop();
    }
}

void StatusServer::HandOutTrace() {
    const std::string text = m_Feed.TakeQueued();
    if (text.empty()) {
        return;
    }
    const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const std::vector<QWebSocket*> watchers = m_Watchers;
    for (QWebSocket* watcher : watchers) {
        // A busy loop may not yet have passed on what the kernel would take:
        // only what it refuses counts against the watcher.
        watcher->flush();
        if (watcher->bytesToWrite() > kMaxBacklog) {
            m_Log("Trace watcher " + AddressText(watcher->peerAddress()) + ":" +
                  std::to_string(watcher->peerPort()) + " dropped (it does not keep up)");
            Forget(watcher);
            watcher->abort();
            continue;
        }
        watcher->sendTextMessage(message);
    }
}

}  // namespace tw
