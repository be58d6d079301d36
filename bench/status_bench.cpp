// What the status server costs the event loop, in process: a call's dialogue
// through the link layer with the plain view, with the trace feed beside it
// and nobody watching (the server on, nobody connected), and with a watcher
// (the trace rendered and queued); and the time one event of the server keeps
// the loop busy: an answer of /api/status, /metrics or the page for 8 ports,
// and one hand-out of a full batch of trace lines. A call that arrives during
// such an event waits at most that long for its ACK.
#include <benchmark/benchmark.h>

#include <QString>
#include <array>
#include <string>

#include "alarmlink/alarmlink.h"
#include "base/logfolder.h"
#include "benchfakes.h"
#include "espa/linklayer.h"
#include "platform/inifilesource.h"
#include "support/fakeclock.h"
#include "support/fakes.h"
#include "support/tempfolder.h"
#include "ui/memoryview.h"
#include "ui/statusreport.h"
#include "ui/tracefeed.h"

namespace tw {
namespace {

// 8 connected TCP server ports; the event log is not kept, CommDebug is off.
class StatusBenchGateway {
  public:
    explicit StatusBenchGateway(bool traced) : m_Traced(traced) {
        m_Folder.Write("Tellwick.ini", "[General]\r\nCommDebug=0\r\n");
        m_Gateway.m_General.ESPACategory = "ESPA";
        for (int16_t port = 0; port < kPortCount; ++port) {
            m_Gateway.m_Ports[port].PortKind = PortKindTcpServer;
            m_Gateway.m_Ports[port].Description = "Ward " + std::to_string(port);
            m_Data[port].m_State = Socket::StateConnected;
            m_Data[port].m_RemoteHostIP = "10.0.0.7";
            m_Gateway.m_View.AddPortRow(port, m_Gateway.m_Ports[port].Description);
            m_Gateway.m_View.SetPortColumn(port, View::ColumnStatus, "Connected to 10.0.0.7:40001");
        }
    }

    void Call() {
        HandleReceivedESPA(m_Gateway, 1, kSelect);
        HandleReceivedESPA(m_Gateway, 1, bench::kCallBlock);
        HandleReceivedESPA(m_Gateway, 1, "\x04");
    }

    TraceFeed& Feed() { return m_Feed; }
    StatusReport& Report() { return m_Report; }

  private:
    static inline const std::string kSelect =
        "1\x05"
        "2\x05";

    GatewayWiring Wiring() {
        View& view = m_Traced ? static_cast<View&>(m_TracedView) : m_Window;
        GatewayWiring wiring = m_Fakes.WireFakes(m_Clock, m_Ini, m_Logs, view, m_Alarms);
        for (int port = 0; port < kPortCount; ++port) {
            wiring.Winsock_Data[port] = &m_Data[port];
        }
        return wiring;
    }

    bool m_Traced;
    test::TempFolder m_Folder;
    test::FakeClock m_Clock;
    IniFileSource m_Ini{m_Folder.Path()};
    LogFolder m_Logs{m_Folder.Path(), "NoLogFiles"};
    TraceFeed m_Feed;
    MemoryView m_Window;
    TracedView m_TracedView{m_Window, m_Feed};
    bench::CountingAlarms m_Alarms;
    std::array<bench::NullSocket, kPortCount> m_Data;
    test::FakeTransports m_Fakes;
    Gateway m_Gateway{Wiring()};
    AlarmLink m_Link{m_Gateway};
    StatusReport m_Report{m_Gateway, m_Link, "1.0.08", 1558950000};
};

// view: 0 the window alone, 1 with the trace feed and nobody watching,
// 2 with a watcher (the batches handed out every 64 calls).
void CallDialogue(benchmark::State& state) {
    StatusBenchGateway gateway(state.range(0) != 0);
    gateway.Feed().SetWatcherCount(state.range(0) == 2 ? 1 : 0);
    int64_t calls = 0;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        gateway.Call();
        if (++calls % 64 == 0) {
            benchmark::DoNotOptimize(gateway.Feed().TakeQueued());
        }
    }
    state.SetItemsProcessed(calls);
}
BENCHMARK(CallDialogue)->ArgName("view")->Arg(0)->Arg(1)->Arg(2);

void StatusAnswer(benchmark::State& state) {
    StatusBenchGateway gateway(true);
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        switch (state.range(0)) {
            case 0:
                benchmark::DoNotOptimize(gateway.Report().Json());
                break;
            case 1:
                benchmark::DoNotOptimize(gateway.Report().Metrics());
                break;
            default:
                benchmark::DoNotOptimize(gateway.Report().Page(false));
                break;
        }
    }
}
BENCHMARK(StatusAnswer)->ArgName("json_metrics_page")->Arg(0)->Arg(1)->Arg(2);

// A full batch as the server hands it to the watchers' sockets.
void TraceHandOut(benchmark::State& state) {
    StatusBenchGateway gateway(true);
    gateway.Feed().SetWatcherCount(1);
    for (int call = 0; call < 100; ++call) {
        gateway.Call();
    }
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        state.PauseTiming();
        for (size_t line = 0; line < TraceFeed::kQueueLimit; ++line) {
            gateway.Feed().Add(
                "03:35:42 Rx <- 1: <SOH>1<STX>1<US>96<RS>2<US>Smoke detector zone 4");
        }
        state.ResumeTiming();
        const std::string text = gateway.Feed().TakeQueued();
        benchmark::DoNotOptimize(
            QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8());
    }
}
BENCHMARK(TraceHandOut);

}  // namespace
}  // namespace tw
