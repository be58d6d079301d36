// What the durable alarm buffer costs: alarms through AlarmLink::SendAlarm
// with the alarm server connected (delivered at once) and away (buffered,
// then delivered when it is back), each with the buffer kept in
// AlarmBuffer.journal (":journal 1") or not (":journal 0"). The journal lies
// in a temporary folder (TMPDIR, else /tmp), so the figures are those of that
// disk; run it where the application folder lies.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "alarmlink/alarmlink.h"
#include "base/logfolder.h"
#include "benchfakes.h"
#include "core/alarmjournalfile.h"
#include "support/fakeclock.h"
#include "support/fakes.h"
#include "support/fakesettings.h"
#include "support/tempfolder.h"
#include "ui/memoryview.h"

namespace tw {
namespace {

// One alarm link on the TCP route, its journal in a temporary folder.
class BenchLink {
  public:
    explicit BenchLink(bool journaled) {
        m_Gateway.m_General.ZorvanConnectionMethod = ZorvanMethodTcp;
        if (journaled) {
            m_Link.KeepBufferIn(m_Journal);
        }
    }

    void SetAlarmServerConnected(bool connected) {
        m_Connection.m_State = connected ? Socket::StateConnected : Socket::StateClosed;
    }
    void Send() { m_Link.SendAlarm(AlarmStateRaised, m_Fields); }
    // The supervision tick: what the alarm server acknowledged (everything)
    // is forgotten, and the buffer sent.
    void Tick() {
        m_Link.SuperviseConnection(0);
        m_Link.ResendBufferedAlarms();
        m_Link.SuperviseConnection(0);
    }
    size_t Buffered() const { return m_Link.AlarmBuffer().size(); }

  private:
    GatewayWiring Wiring() {
        GatewayWiring wiring = m_Fakes.WireFakes(m_Clock, m_Ini, m_Logs, m_View, m_Alarms);
        wiring.Winsock_Zorvan_Data = &m_Connection;
        return wiring;
    }

    test::TempFolder m_Folder;
    test::FakeClock m_Clock;
    test::FakeSettings m_Ini;
    LogFolder m_Logs{m_Folder.Path(), "LogFiles"};
    MemoryView m_View;
    test::RecordingAlarms m_Alarms;
    bench::NullSocket m_Connection;  // the alarm server's connection
    test::FakeTransports m_Fakes;
    Gateway m_Gateway{Wiring()};
    AlarmLink m_Link{m_Gateway};
    AlarmJournalFile m_Journal{m_Folder.Path() + kAlarmJournalFileName};
    const AlarmFields m_Fields{"Nurse call ward 3", "", "ESPA", "", "Room 12 Bed 3", ""};
};

// The alarm server connected: every alarm goes out at once; a tick every 64.
void DeliveredAtOnce(benchmark::State& state) {
    BenchLink link(state.range(0) != 0);
    link.SetAlarmServerConnected(true);
    int64_t alarms = 0;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        link.Send();
        if (++alarms % 64 == 0) {
            link.Tick();
        }
    }
    state.SetItemsProcessed(alarms);
    if (link.Buffered() != 0) {
        state.SkipWithError("an alarm was buffered");
    }
}
BENCHMARK(DeliveredAtOnce)->ArgName("journal")->Arg(0)->Arg(1);

// The alarm server away while 200 alarms are buffered, then back for the
// tick that delivers them: the whole cost of a buffered alarm, per alarm.
void BufferedThenDelivered(benchmark::State& state) {
    BenchLink link(state.range(0) != 0);
    int64_t alarms = 0;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        link.Send();
        if (++alarms % static_cast<int64_t>(kAlarmBufferCapacity) == 0) {
            link.SetAlarmServerConnected(true);
            link.Tick();
            link.SetAlarmServerConnected(false);
        }
    }
    state.SetItemsProcessed(alarms);
    if (link.Buffered() >= kAlarmBufferCapacity) {
        state.SkipWithError("the buffer was not delivered");
    }
}
BENCHMARK(BufferedThenDelivered)->ArgName("journal")->Arg(0)->Arg(1);

}  // namespace
}  // namespace tw
