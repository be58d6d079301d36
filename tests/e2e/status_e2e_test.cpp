// The status server of the built gateway program: the endpoints over
// loopback, the counters moving with calls, the alarm server leaving and
// returning, the host filter, a trace watcher that stops reading, and the
// page in a real browser (headless Chromium) and /metrics in Prometheus'
// own parser, when those are installed.
#include <atomic>
#include <cstdio>
#include <thread>

#include "e2e/gatewayprocess.h"

namespace tw::test {
namespace {

struct HttpAnswer {
    std::string Head;  // status line and headers; "" when nothing came
    std::string Body;
};

class StatusE2eTest : public GatewayE2eTest {
  protected:
    // Starts the gateway with TCP server ports 0 and 1 and the status server,
    // and waits until port 0 answers a call.
    std::unique_ptr<GatewayProcess> Start(const std::string& extra = "") {
        return GatewayE2eTest::Start(
            "[General]\nWatchDogTagName=\nBufferIfZorvanNotConnected=1\nZorvanPort=" +
                std::to_string(m_ZorvanPort) + "\nStatusPort=" + std::to_string(m_StatusPort) +
                "\n" + extra + TcpServerSection(0, m_EspaPorts[0]) +
                TcpServerSection(1, m_EspaPorts[1]),
            m_EspaPorts[0]);
    }

    // One GET on a fresh connection; the answer once its body is complete.
    HttpAnswer Get(const std::string& path) const {
        RawSocket client;
        HttpAnswer answer;
        if (!client.Connect(m_StatusPort) ||
            !client.Send("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")) {
            return answer;
        }
        WaitFor([&] {
            const std::string& got = client.ReadAvailable();
            const size_t end = got.find("\r\n\r\n");
            const size_t length = got.find("Content-Length: ");
            if (end == std::string::npos || length == std::string::npos) {
                return false;
            }
            const size_t size = std::stoul(got.substr(length + 16));
            answer.Head = got.substr(0, end);
            answer.Body = got.substr(end + 4);
            return answer.Body.size() >= size;
        });
        return answer;
    }

    // The value of a series in /metrics; labels: what follows the name up to
    // the value, "" for none. -1 when it is missing.
    double Metric(const std::string& name, const std::string& labels = "") const {
        const std::string text = "\n" + Get("/metrics").Body;
        const size_t at = text.find("\n" + name + labels + " ");
        return at == std::string::npos
                   ? -1
                   : std::stod(text.substr(at + name.size() + labels.size() + 2));
    }
    static std::string OnPort(int port) {
        return "{port=\"" + std::to_string(port) + "\",description=\"Ward " + std::to_string(port) +
               "\"}";
    }

    int m_ZorvanPort = FreePort();
    int m_StatusPort = FreePort();
    std::array<int, 2> m_EspaPorts{FreePort(), FreePort()};
};

TEST_F(StatusE2eTest, EndpointsAnswerAndCallsAndNaksMoveOnlyTheirPortsCounters) {
    auto gateway = Start();
    ASSERT_TRUE(LogShows("Status server listening on 127.0.0.1:" + std::to_string(m_StatusPort)));
    const struct {
        const char* Path;
        const char* Type;
        const char* Part;
    } endpoints[] = {
        {"/", "text/html; charset=utf-8", "<title>Tellwick for Zorvan</title>"},
        {"/trace", "text/html; charset=utf-8", "const watchAtStart = true;"},
        {"/api/status", "application/json", "\"description\":\"Ward 1\""},
        {"/metrics", "text/plain; version=0.0.4; charset=utf-8", "# TYPE tellwick_port_up gauge"},
    };
    for (const auto& endpoint : endpoints) {
        const HttpAnswer answer = Get(endpoint.Path);
        EXPECT_TRUE(answer.Head.starts_with("HTTP/1.1 200 OK")) << endpoint.Path;
        EXPECT_NE(answer.Head.find(std::string("Content-Type: ") + endpoint.Type),
                  std::string::npos)
            << answer.Head;
        EXPECT_NE(answer.Body.find(endpoint.Part), std::string::npos) << endpoint.Path;
    }
    EXPECT_TRUE(Get("/nothing").Head.starts_with("HTTP/1.1 404"));

    const double calls0 = Metric("tellwick_calls_total", OnPort(0));
    EXPECT_GE(calls0, 1);
    EXPECT_EQ(Metric("tellwick_calls_total", OnPort(1)), 0);
    EXPECT_EQ(Metric("tellwick_port_up", OnPort(1)), 1);
    ASSERT_TRUE(CallIsAnswered(m_EspaPorts[1], "Room 7"));
    EXPECT_EQ(Metric("tellwick_calls_total", OnPort(0)), calls0);
    EXPECT_EQ(Metric("tellwick_calls_total", OnPort(1)), 1);
    EXPECT_GT(Metric("tellwick_last_call_timestamp_seconds", OnPort(1)), 1.5e9);

    RawSocket partner;
    ASSERT_TRUE(partner.Connect(m_EspaPorts[1]));
    partner.Send("1\005\0011\0021\0371\003?");  // wrong check character
    EXPECT_TRUE(WaitFor([&] { return Metric("tellwick_naks_total", OnPort(1)) == 1; }));
    EXPECT_EQ(Metric("tellwick_naks_total", OnPort(0)), 0);
    EXPECT_EQ(Metric("tellwick_calls_total", OnPort(1)), 1);
}

TEST_F(StatusE2eTest, TheAlarmServerLeavingAndReturningShowsInConnectedAndBuffered) {
    auto gateway = Start();
    EXPECT_EQ(Metric("tellwick_alarm_server_connected"), 0);
    EXPECT_EQ(Metric("tellwick_alarms_buffered"), 1);  // the start-up call
    {
        RawSocket alarmServer;
        ASSERT_TRUE(alarmServer.Connect(m_ZorvanPort));
        EXPECT_TRUE(WaitFor([&] { return Metric("tellwick_alarm_server_connected") == 1; }));
        EXPECT_TRUE(WaitFor([&] { return Metric("tellwick_alarms_buffered") == 0; }));
        EXPECT_EQ(Metric("tellwick_alarms_sent_total"), 1);
        EXPECT_NE(Get("/api/status").Body.find("\"peer\":\"127.0.0.1:"), std::string::npos);
    }
    EXPECT_TRUE(WaitFor([&] { return Metric("tellwick_alarm_server_connected") == 0; }));
    ASSERT_TRUE(CallIsAnswered(m_EspaPorts[0], "while away"));
    EXPECT_EQ(Metric("tellwick_alarms_buffered"), 1);
    EXPECT_EQ(Metric("tellwick_alarms_dropped_total"), 0);
}

TEST_F(StatusE2eTest, AHostOutsideStatusAllowedHostsIsRefused) {
    auto gateway = Start("StatusAllowedHosts=10.9.9.9, ::2\n");
    RawSocket client;
    ASSERT_TRUE(client.Connect(m_StatusPort));
    client.Send("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_TRUE(LogShows("Refused status connection from 127.0.0.1:"));
    EXPECT_TRUE(Log().find("(not in StatusAllowedHosts)") != std::string::npos);
    EXPECT_EQ(client.ReadAvailable(), "");
}

const char* const kTraceRequest =
    "GET /trace HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";

// A WebSocket on /trace; true once the gateway switched protocols.
bool OpenTrace(RawSocket& watcher, int port) {
    return watcher.Connect(port) && watcher.Send(kTraceRequest) &&
           WaitFor([&] { return watcher.ReadAvailable().find("\r\n\r\n") != std::string::npos; }) &&
           watcher.ReadAvailable().starts_with("HTTP/1.1 101");
}

TEST_F(StatusE2eTest, ATraceWatcherThatStopsReadingIsDroppedWhilePortsAndOthersGoOn) {
    auto gateway = Start();
    RawSocket reader;
    ASSERT_TRUE(OpenTrace(reader, m_StatusPort));
    RawSocket stuck(4096);  // never reads after the switch of protocols
    ASSERT_TRUE(OpenTrace(stuck, m_StatusPort));
    EXPECT_TRUE(CallIsAnswered(m_EspaPorts[0], "watched"));
    EXPECT_TRUE(
        WaitFor([&] { return reader.ReadAvailable().find("watched") != std::string::npos; }));

    std::atomic<bool> flooding = true;
    std::thread readerThread([&] {
        while (flooding) {
            reader.ReadAvailable();
            reader.ForgetReceived();
            std::this_thread::sleep_for(milliseconds(5));
        }
    });
    RawSocket flood;
    ASSERT_TRUE(flood.Connect(m_EspaPorts[1]));
    const std::string garbage(64 * 1024, '\xC8');
    const auto dropped = [](const RawSocket& watcher) {
        return ":" + std::to_string(watcher.LocalPort()) + " dropped (it does not keep up)";
    };
    const std::string stuckDropped = dropped(stuck);
    for (int chunk = 0; chunk < 200 && Log().find(stuckDropped) == std::string::npos; ++chunk) {
        flood.Send(garbage);
    }
    EXPECT_TRUE(LogShows(stuckDropped)) << Log();
    EXPECT_TRUE(CallIsAnswered(m_EspaPorts[0], "during the flood"));
    flood.Reset();
    // What the gateway had received of the flood is traced first, and under
    // a flood the oldest queued trace lines give way to the newest.
    EXPECT_TRUE(LogShows("Connection (1) was closed", 30000));
    flooding = false;
    readerThread.join();
    EXPECT_TRUE(CallIsAnswered(m_EspaPorts[0], "after the flood"));
    EXPECT_TRUE(WaitFor(
        [&] { return reader.ReadAvailable().find("after the flood") != std::string::npos; }));
    EXPECT_EQ(Log().find(dropped(reader)), std::string::npos) << "the reader is kept";
    stuck.Close();
    Stop(std::move(gateway));  // orderly with a watcher still there
}

// What command prints on stdout.
std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[4096];
        for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
            text.append(chunk, got);
        }
        pclose(pipe);
    }
    return text;
}

TEST_F(StatusE2eTest, MetricsParseWithPrometheusOwnParser) {
    if (std::system("/usr/bin/python3 -c 'import prometheus_client' 2>/dev/null") != 0) {
        GTEST_SKIP() << "python3-prometheus-client is not installed";
    }
    auto gateway = Start();
    m_Folder.Write("metrics.txt", Get("/metrics").Body);
    EXPECT_EQ(Output("/usr/bin/python3 -c 'import sys\n"
                     "from prometheus_client.parser import text_string_to_metric_families\n"
                     "for f in text_string_to_metric_families(open(sys.argv[1]).read()):\n"
                     "    print(f.name, f.type, len(f.samples))' " +
                     m_Folder.Path() + "metrics.txt"),
              "tellwick_port_up gauge 2\ntellwick_calls counter 2\ntellwick_naks counter 2\n"
              "tellwick_rx_bytes counter 2\ntellwick_tx_bytes counter 2\n"
              "tellwick_last_call_timestamp_seconds gauge 2\ntellwick_poll_failed gauge 2\n"
              "tellwick_comm_failed gauge 2\ntellwick_port_selected gauge 2\n"
              "tellwick_alarm_server_connected gauge 1\ntellwick_alarms_sent counter 1\n"
              "tellwick_alarms_buffered gauge 1\ntellwick_alarms_dropped counter 1\n"
              "tellwick_last_watchdog_timestamp_seconds gauge 1\ntellwick_build_info gauge 1\n"
              "process_start_time_seconds gauge 1\n");
}

TEST_F(StatusE2eTest, ABrowserShowsEveryPortsRow) {
    if (std::system("command -v chromium >/dev/null") != 0) {
        GTEST_SKIP() << "chromium is not installed";
    }
    auto gateway = Start();
    const std::string dom = Output(
        "timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--user-data-dir=" +
        m_Folder.Path() + "browser --virtual-time-budget=3000 --dump-dom http://127.0.0.1:" +
        std::to_string(m_StatusPort) + "/ 2>/dev/null");
    for (const char* part : {
             R"(<tr id="port-0" class="up"><td class="number">0</td><td>Ward 0</td>)",
             R"(<tr id="port-1" class="up"><td class="number">1</td><td>Ward 1</td>)",
             R"(<span id="version" class="muted">version 1.0.08</span>)",
         }) {
        EXPECT_NE(dom.find(part), std::string::npos) << part << "\n" << dom;
    }
}

}  // namespace
}  // namespace tw::test
