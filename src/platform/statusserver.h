// The read-only status server on the gateway's event loop: the page ("/" and
// "/trace"), "/api/status" and "/metrics" over HTTP, and the live trace over
// a WebSocket on "/trace". Every client is bounded: a peer outside the
// allowed hosts is closed at once, at most kMaxConnections talk HTTP and
// kMaxWatchers watch the trace, a connection silent for kIdleMs is closed,
// and a trace watcher with more than kMaxBacklog bytes not yet taken is
// dropped, so a slow client never holds up a port.
#pragma once

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/hostfilter.h"
#include "ui/statusreport.h"
#include "ui/tracefeed.h"

class QHttpServerRequest;
class QWebSocket;

namespace tw {

class StatusServer {
  public:
    static constexpr int kMaxConnections = 32;
    static constexpr int kMaxWatchers = 8;
    static constexpr int kIdleMs = 30000;
    static constexpr int64_t kMaxBacklog = 256 * 1024;
    // Trace lines are handed out in batches, at most this often.
    static constexpr int kBatchMs = 50;

    // log: one event-log line. All three must outlive the server.
    StatusServer(StatusReport& report, TraceFeed& feed,
                 std::function<void(const std::string&)> log);
    ~StatusServer();
    StatusServer(const StatusServer&) = delete;
    StatusServer& operator=(const StatusServer&) = delete;

    // Listens on address:port for the peers that allowed lets in; false with
    // error set when it cannot.
    bool Listen(const std::string& address, int32_t port, const HostFilter& allowed,
                std::string& error);

  private:
    class Http;
    class Listener;

    void Admit(qintptr descriptor);
    void ForgetClosedConnections();
    bool Answer(const QHttpServerRequest& request, QTcpSocket* socket);
    void TakeWebSockets();
    void Watch(QWebSocket* watcher);
    void Forget(QWebSocket* watcher);
    void HandOutTrace();
    static std::string Peer(const QTcpSocket& socket);

    StatusReport& m_Report;
    TraceFeed& m_Feed;
    std::function<void(const std::string&)> m_Log;
    HostFilter m_Allowed;
    std::unique_ptr<Http> m_Http;
    Listener* m_Listener = nullptr;  // owned by m_Http
    // HTTP connections, for their number and to find the one a watcher took over.
    std::vector<QPointer<QTcpSocket>> m_Connections;
    std::vector<QWebSocket*> m_Watchers;
    QTimer m_BatchTimer;
    QTimer m_PingTimer;
};

}  // namespace tw
