#include "ui/statusreport.h"

#include <gtest/gtest.h>

#include "support/gatewayfixture.h"
#include "ui/tracefeed.h"

namespace tw {
namespace {

class StatusReportTest : public ::testing::Test, public test::GatewayFixture {
  protected:
    StatusReportTest() {
        m_Gateway.m_General.ZorvanConnectionMethod = ZorvanMethodTcp;
        TcpServer(0, 4001);
        m_Listeners[0].m_State = Socket::StateListening;
        TcpServer(3, 4003);
        m_View.AddPortRow(3, "Zone \"A\\\"\n\xE4");
        m_Gateway.m_Ports[3].PollFailTimeout = 1000;
        m_Gateway.m_Runtime[3].PollFailElapsed = 1000;
        m_Gateway.m_Runtime[3].CommFailed = true;
        m_Gateway.m_Runtime[3].Totals = {5000000000ULL, 7, 9000000000ULL, 12, 1558953065};
        SetAlarmServerPresent(true);
    }

    AlarmLink m_Link{m_Gateway};
    StatusReport m_Report{m_Gateway, m_Link, "1.0.08", 1558950000};
};

TEST_F(StatusReportTest, JsonCarriesTheWindowsTextsAndTheTotalsAsValidUtf8) {
    const std::string json = m_Report.Json();
    for (const char* part : {
             R"("ports":[{"port":0,"description":"Port 0","status":"","txBytesShown":"",)",
             R"("up":true,"calls":0,"naks":0,"txBytes":0,"rxBytes":0,"lastCall":null,)",
             // Quote, backslash and control characters escaped, Latin-1 as UTF-8.
             R"("port":3,"description":"Zone \"A\\\"\u000a)"
             "\xC3\xA4\"",
             R"("up":false,"calls":5000000000,"naks":7,"txBytes":12,"rxBytes":9000000000,)",
             R"("lastCall":1558953065,"lastCallText":"2019-05-27 10:31:05","selected":false,)",
             R"("commFailed":true,"pollFailed":true})",
             R"("alarmServer":{"state":"","counters":"","connected":true,"peer":"10.0.0.2:50000",)",
             R"("buffered":0,"sent":0,"dropped":0,"lastWatchdog":null,"lastWatchdogText":""})",
         }) {
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
    }
    // Nothing that could end the page's script element.
    EXPECT_EQ(m_Report.Page(false).find("</", m_Report.Page(false).find("initialStatus")),
              m_Report.Page(false).find("</script>"));
}

TEST_F(StatusReportTest, MetricsKeepCountersBeyond32BitsAndEscapeLabels) {
    m_Link.SendAlarm(AlarmStateRaised, {"a", "", "", "", "", ""});
    SetAlarmServerPresent(false);
    m_Link.SendAlarm(AlarmStateRaised, {"b", "", "", "", "", ""});
    const std::string metrics = m_Report.Metrics();
    const std::string port3 = "{port=\"3\",description=\"Zone \\\"A\\\\\\\"\\n\xC3\xA4\"} ";
    for (const std::string& line : std::vector<std::string>{
             "# TYPE tellwick_calls_total counter\n",
             "tellwick_calls_total{port=\"0\",description=\"Port 0\"} 0\n",
             "tellwick_calls_total" + port3 + "5000000000\n",
             "tellwick_rx_bytes_total" + port3 + "9000000000\n",
             "tellwick_port_up{port=\"0\",description=\"Port 0\"} 1\n",
             "tellwick_poll_failed" + port3 + "1\n",
             "tellwick_comm_failed" + port3 + "1\n",
             "tellwick_last_call_timestamp_seconds" + port3 + "1558953065\n",
             "tellwick_alarm_server_connected 0\n",
             "tellwick_alarms_sent_total 1\n",
             "tellwick_alarms_buffered 1\n",
             "tellwick_build_info{version=\"1.0.08\"} 1\n",
             "process_start_time_seconds 1558950000\n",
         }) {
        EXPECT_NE(metrics.find(line), std::string::npos) << line << "\n" << metrics;
    }
}

TEST(StatusOriginTest, OnlyTheServersOwnOriginOrNoneMayOpenTheTrace) {
    const struct {
        const char* Origin;
        const char* Host;
        bool Allowed;
    } rows[] = {
        {"", "10.0.0.5:8080", true},
        {"http://10.0.0.5:8080", "10.0.0.5:8080", true},
        {"http://GATEWAY:8080", "gateway:8080", true},
        {"http://evil.example", "10.0.0.5:8080", false},
        {"http://10.0.0.5:8081", "10.0.0.5:8080", false},
        {"null", "10.0.0.5:8080", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IsSameOrigin(row.Origin, row.Host), row.Allowed) << row.Origin;
    }
}

TEST(TraceFeedTest, KeepsTheNewestLinesAndQueuesOnlyWhileWatched) {
    test::TraceView window;
    window.m_Open = false;
    TraceFeed feed;
    TracedView view(window, feed);
    int bursts = 0;
    feed.SetQueuedHandler([&bursts] { ++bursts; });
    view.AddDebugLine("before \xE4");
    EXPECT_FALSE(view.DebugWindowOpen());
    EXPECT_EQ(feed.TakeQueued(), "");

    feed.SetWatcherCount(1);
    EXPECT_TRUE(view.DebugWindowOpen());
    for (int line = 0; line < 600; ++line) {
        view.AddDebugLine(std::to_string(line));
    }
    EXPECT_EQ(bursts, 1);
    const std::string queued = feed.TakeQueued();
    EXPECT_TRUE(queued.starts_with("350\n351\n")) << queued;
    EXPECT_TRUE(queued.ends_with("\n599"));
    const std::string kept = feed.KeptText();
    EXPECT_TRUE(kept.starts_with("100\n101\n")) << kept;
    EXPECT_TRUE(kept.ends_with(queued));
    view.AddDebugLine("next");
    EXPECT_EQ(bursts, 2);

    feed.SetWatcherCount(0);
    window.m_Open = true;
    EXPECT_TRUE(view.DebugWindowOpen());
    view.AddDebugLine("window \xE4");
    EXPECT_EQ(window.m_Lines.back(), "window \xE4");
    EXPECT_TRUE(feed.KeptText().ends_with("\nnext\nwindow \xC3\xA4"));
}

}  // namespace
}  // namespace tw
