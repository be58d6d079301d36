#include "app/servicehealth.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fakeservice.h"
#include "support/gatewayfixture.h"

namespace tw {
namespace {

using test::FakeService;

TEST(ServiceHealthTest, StatusLineCountsPortsInUseThatAreUpAndBufferedAlarms) {
    test::GatewayFixture fixture;
    AlarmLink link(fixture.m_Gateway);
    fixture.TcpServer(0, 4001);
    fixture.m_Listeners[0].m_State = Socket::StateListening;
    fixture.TcpClient(3);
    fixture.Com(5, 1);
    fixture.m_Serials[5].m_Open = true;
    link.SendAlarm(AlarmStateRaised, {"T0", "", "", "", "", ""});
    EXPECT_EQ(ServiceStatusLine(fixture.m_Gateway, link),
              "alarm server not connected, 2 of 3 ports up, 1 buffered");
    fixture.SetAlarmServerPresent(true);
    link.ResendBufferedAlarms();
    EXPECT_EQ(ServiceStatusLine(fixture.m_Gateway, link),
              "alarm server connected, 2 of 3 ports up, 0 buffered");
}

TEST(ServiceHealthTest, SystemLogPriorityFollowsWhatTheLineSays) {
    const struct {
        const char* m_Message;
        std::optional<int> m_Priority;
    } rows[] = {
        {"--------", std::nullopt},
        {"Configuration error in section General, key ZorvanPort = \"x\": y",
         ServiceControl::PriorityError},
        {"Could not set Zorvan port (14000) to listen mode, err: in use",
         ServiceControl::PriorityError},
        {"Alarm buffer is full (200 alarms), new alarms are dropped",
         ServiceControl::PriorityError},
        {"Zorvan connection was reset by the alarm server: alarms it had received but not read, "
         "if any, are lost",
         ServiceControl::PriorityError},
        {"Configuration warning in section ESPA_Port_0: x", ServiceControl::PriorityWarning},
        {"ESPA communication (3) failed", ServiceControl::PriorityWarning},
        {"Connection (0) refused connection from 10.1.2.3:40001 (not in AllowedHosts)",
         ServiceControl::PriorityWarning},
        {"Zorvan connection was closed", ServiceControl::PriorityWarning},
        {"Dropped 2 alarm(s) from AlarmBuffer.journal, older than 3600 s",
         ServiceControl::PriorityWarning},
        {"AlarmBuffer.journal: 32 damaged bytes skipped", ServiceControl::PriorityWarning},
        {"Tellwick for Zorvan is starting, version 1.0.08", ServiceControl::PriorityNotice},
        {"ESPA Server is stopping, reason 1", ServiceControl::PriorityNotice},
        {"Got ESPA message: Room 12 failed to answer", ServiceControl::PriorityInfo},
        {"Connection (0) was closed", ServiceControl::PriorityInfo},
        {"Got ESPA message: Room 12", ServiceControl::PriorityInfo},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SystemLogPriority(row.m_Message), row.m_Priority) << row.m_Message;
    }
}

TEST(ServiceHealthTest, ReportsAtAQuarterOfTheWatchdogAndTheStatusOnlyWhenItChanged) {
    const struct {
        int64_t m_WatchdogMs;
        int m_Ticks;
        std::vector<std::string> m_Reports;
    } rows[] = {
        // Every 5 ticks of 100 ms; the status changes before the sixth.
        {2000, 11, {"alive/a", "alive/b", "alive/"}},
        // No watchdog: the status is looked at once a second, sent when it changed.
        {0, 21, {"/a", "/b"}},
        // A short watchdog: every tick.
        {200, 3, {"alive/a", "alive/", "alive/b"}},
    };
    for (const auto& row : rows) {
        FakeService service;
        service.m_WatchdogIntervalMs = row.m_WatchdogMs;
        int tick = 0;
        ServiceHealth health(
            service, [&tick] { return tick < 2 ? "a" : "b"; }, 100);
        for (tick = 0; tick < row.m_Ticks; ++tick) {
            health.Tick();
        }
        EXPECT_EQ(service.m_Reports, row.m_Reports) << row.m_WatchdogMs;
    }
}

}  // namespace
}  // namespace tw
