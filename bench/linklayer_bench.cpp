// The link layer alone: ESPA input through HandleReceivedESPA on one TCP
// server port wired to a socket that keeps nothing of what it is given, with the
// event log written to a temporary folder (":log 1") or not kept (":log 0").
// Tellwick.ini is there with CommDebug off, as on a site, so every trace
// still looks the setting up.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "base/logfolder.h"
#include "benchfakes.h"
#include "espa/linklayer.h"
#include "platform/inifilesource.h"
#include "support/fakeclock.h"
#include "support/fakes.h"
#include "support/tempfolder.h"
#include "ui/memoryview.h"

namespace tw {
namespace {

constexpr int16_t kPort = 1;

using bench::kCallBlock;

// One gateway with one connected TCP server port and everything it writes to.
// Without the event log its folder is missing, so no line is written.
class BenchGateway {
  public:
    explicit BenchGateway(bool withEventLog)
        : m_Logs(m_Folder.Path(), withEventLog ? "LogFiles" : "NoLogFiles") {
        m_Folder.Write("Tellwick.ini", "[General]\r\nCommDebug=0\r\n");
        m_Gateway.m_General.ESPACategory = "ESPA";
        PortSettings& settings = m_Gateway.m_Ports[kPort];
        settings.PortKind = PortKindTcpServer;
        settings.Description = "Ward 3";
        m_Socket.m_State = Socket::StateConnected;
        m_View.AddPortRow(kPort, settings.Description);
    }

    void Receive(const std::string& chunk) { HandleReceivedESPA(m_Gateway, kPort, chunk); }
    int64_t Alarms() const { return m_Alarms.m_Count; }

  private:
    GatewayWiring Wiring() {
        GatewayWiring wiring = m_Fakes.WireFakes(m_Clock, m_Ini, m_Logs, m_View, m_Alarms);
        wiring.Winsock_Data[kPort] = &m_Socket;
        return wiring;
    }

    test::TempFolder m_Folder;
    test::FakeClock m_Clock;
    IniFileSource m_Ini{m_Folder.Path()};
    LogFolder m_Logs;
    MemoryView m_View;
    bench::CountingAlarms m_Alarms;
    bench::NullSocket m_Socket;
    test::FakeTransports m_Fakes;
    Gateway m_Gateway{Wiring()};
};

void Report(benchmark::State& state, int64_t bytes, int64_t calls) {
    state.SetBytesProcessed(bytes);
    state.SetItemsProcessed(calls);
}

// Stop-and-wait with one selection: every chunk is one block, answered ACK.
void BlockPerChunk(benchmark::State& state) {
    BenchGateway gateway(state.range(0) != 0);
    gateway.Receive(
        "1\x05"
        "2\x05");
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        gateway.Receive(kCallBlock);
    }
    const auto calls = static_cast<int64_t>(state.iterations());
    Report(state, calls * static_cast<int64_t>(kCallBlock.size()), calls);
    if (gateway.Alarms() != calls) {
        state.SkipWithError("a block was not accepted");
    }
}
BENCHMARK(BlockPerChunk)->ArgName("log")->Arg(0)->Arg(1);

// Every call its own dialogue, each element its own chunk as a stop-and-wait
// station sends them: selection, block, EOT.
void DialoguePerCall(benchmark::State& state) {
    BenchGateway gateway(state.range(0) != 0);
    const std::string select =
        "1\x05"
        "2\x05";
    const std::string eot = "\x04";
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        gateway.Receive(select);
        gateway.Receive(kCallBlock);
        gateway.Receive(eot);
    }
    const auto calls = static_cast<int64_t>(state.iterations());
    Report(state, calls * static_cast<int64_t>(select.size() + kCallBlock.size() + eot.size()),
           calls);
}
BENCHMARK(DialoguePerCall)->ArgName("log")->Arg(0)->Arg(1);

// A partner that does not wait: 64 blocks arrive in one chunk.
void ManyBlocksPerChunk(benchmark::State& state) {
    constexpr int kBlocks = 64;
    BenchGateway gateway(state.range(0) != 0);
    gateway.Receive(
        "1\x05"
        "2\x05");
    std::string chunk;
    for (int k = 0; k < kBlocks; ++k) {
        chunk += kCallBlock;
    }
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        gateway.Receive(chunk);
    }
    const auto chunks = static_cast<int64_t>(state.iterations());
    Report(state, chunks * static_cast<int64_t>(chunk.size()), chunks * kBlocks);
}
BENCHMARK(ManyBlocksPerChunk)->ArgName("log")->Arg(0)->Arg(1);

}  // namespace
}  // namespace tw
