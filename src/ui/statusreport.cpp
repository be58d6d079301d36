#include "ui/statusreport.h"

#include <cstdio>

#include "base/ini.h"
#include "base/systemtext.h"
#include "ports/connectionstatus.h"

namespace tw {
namespace {

// A JSON string from Latin-1 text. "<" is escaped too, so that the text can
// stand inside the page's script element.
std::string JsonText(const std::string& latin1) {
    std::string out = "\"";
    for (const char c : Latin1ToUtf8(latin1)) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (code < 0x20 || c == '<') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

const char* JsonFlag(bool value) {
    return value ? "true" : "false";
}

// A moment for JSON: seconds since 1970, null for never.
std::string JsonMoment(int64_t unixSeconds) {
    return unixSeconds == 0 ? "null" : std::to_string(unixSeconds);
}

// Comma-separated "name":value members of one object.
class JsonObject {
  public:
    JsonObject& Raw(const char* name, const std::string& value) {
        m_Text += (m_Text.size() > 1 ? ",\"" : "\"") + std::string(name) + "\":" + value;
        return *this;
    }
    JsonObject& Text(const char* name, const std::string& latin1) {
        return Raw(name, JsonText(latin1));
    }
    JsonObject& Number(const char* name, uint64_t value) {
        return Raw(name, std::to_string(value));
    }
    JsonObject& Flag(const char* name, bool value) { return Raw(name, JsonFlag(value)); }
    std::string Close() const { return m_Text + "}"; }

  private:
    std::string m_Text = "{";
};

std::string PortJson(const PortStatus& port) {
    return JsonObject()
        .Number("port", static_cast<uint64_t>(port.Port))
        .Text("description", port.Description)
        .Text("status", port.Status)
        .Text("txBytesShown", port.TxBytesShown)
        .Text("rxBytesShown", port.RxBytesShown)
        .Flag("up", port.Up)
        .Number("calls", port.Totals.Calls)
        .Number("naks", port.Totals.Naks)
        .Number("txBytes", port.Totals.TxBytes)
        .Number("rxBytes", port.Totals.RxBytes)
        .Raw("lastCall", JsonMoment(port.Totals.LastCallUnixSeconds))
        .Text("lastCallText", port.LastCallText)
        .Flag("selected", port.Selected)
        .Flag("commFailed", port.CommFailed)
        .Flag("pollFailed", port.PollFailed)
        .Close();
}

std::string LinkJson(const LinkStatus& link) {
    return JsonObject()
        .Text("state", link.State)
        .Text("counters", link.Counters)
        .Flag("connected", link.Connected)
        .Raw("peer", link.Peer.empty() ? "null" : JsonText(link.Peer))
        .Number("buffered", link.Buffered)
        .Number("sent", link.Totals.Sent)
        .Number("dropped", link.Totals.Dropped)
        .Raw("lastWatchdog", JsonMoment(link.Totals.LastWatchdogUnixSeconds))
        .Text("lastWatchdogText", link.LastWatchdogText)
        .Close();
}

// A Prometheus label value: backslash, double quote and line feed escaped.
std::string LabelValue(const std::string& latin1) {
    std::string out;
    for (const char c : Latin1ToUtf8(latin1)) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

class MetricsText {
  public:
    explicit MetricsText(const StatusSnapshot& status) : m_Status(status) {}

    void Family(const char* name, const char* type, const char* help) {
        m_Name = name;
        m_Text += "# HELP " + m_Name + " " + help + "\n# TYPE " + m_Name + " " + type + "\n";
    }
    void Sample(const std::string& labels, const std::string& value) {
        m_Text += m_Name + (labels.empty() ? "" : "{" + labels + "}") + " " + value + "\n";
    }
    // One sample per port of the family just started.
    template <typename Value>
    void PerPort(Value value) {
        for (const PortStatus& port : m_Status.Ports) {
            Sample("port=\"" + std::to_string(port.Port) + "\",description=\"" +
                       LabelValue(port.Description) + "\"",
                   std::to_string(value(port)));
        }
    }
    std::string Text() const { return m_Text; }

  private:
    const StatusSnapshot& m_Status;
    std::string m_Name;
    std::string m_Text;
};

void PortMetrics(MetricsText& out) {
    out.Family("tellwick_port_up", "gauge",
               "1 when the port is connected, listening or open, as its Status column says.");
    out.PerPort([](const PortStatus& p) { return p.Up ? 1 : 0; });
    out.Family("tellwick_calls_total", "counter", "Blocks accepted with ACK.");
    out.PerPort([](const PortStatus& p) { return p.Totals.Calls; });
    out.Family("tellwick_naks_total", "counter", "Blocks refused with NAK.");
    out.PerPort([](const PortStatus& p) { return p.Totals.Naks; });
    out.Family("tellwick_rx_bytes_total", "counter", "Bytes received on the port.");
    out.PerPort([](const PortStatus& p) { return p.Totals.RxBytes; });
    out.Family("tellwick_tx_bytes_total", "counter", "Bytes sent on the port.");
    out.PerPort([](const PortStatus& p) { return p.Totals.TxBytes; });
    out.Family("tellwick_last_call_timestamp_seconds", "gauge",
               "Time of the last accepted call, seconds since 1970; 0 before the first.");
    out.PerPort([](const PortStatus& p) { return p.Totals.LastCallUnixSeconds; });
    out.Family("tellwick_poll_failed", "gauge", "1 while the port's poll-failure alarm is raised.");
    out.PerPort([](const PortStatus& p) { return p.PollFailed ? 1 : 0; });
    out.Family("tellwick_comm_failed", "gauge",
               "1 while the port's ESPA communication counts as failed.");
    out.PerPort([](const PortStatus& p) { return p.CommFailed ? 1 : 0; });
    out.Family("tellwick_port_selected", "gauge", "1 while the partner has selected the port.");
    out.PerPort([](const PortStatus& p) { return p.Selected ? 1 : 0; });
}

void LinkMetrics(MetricsText& out, const LinkStatus& link) {
    out.Family("tellwick_alarm_server_connected", "gauge",
               "1 while the alarm server is connected (running, for the library routes).");
    out.Sample("", link.Connected ? "1" : "0");
    out.Family("tellwick_alarms_sent_total", "counter", "Alarms handed to the alarm server.");
    out.Sample("", std::to_string(link.Totals.Sent));
    out.Family("tellwick_alarms_buffered", "gauge", "Alarms waiting in the buffer.");
    out.Sample("", std::to_string(link.Buffered));
    out.Family("tellwick_alarms_dropped_total", "counter",
               "Alarms lost because the buffer was full or buffering is off.");
    out.Sample("", std::to_string(link.Totals.Dropped));
    out.Family("tellwick_last_watchdog_timestamp_seconds", "gauge",
               "Time of the last watchdog line, seconds since 1970; 0 before the first.");
    out.Sample("", std::to_string(link.Totals.LastWatchdogUnixSeconds));
}

}  // namespace

StatusSnapshot GatherStatus(Gateway& gateway, AlarmLink& link) {
    StatusSnapshot status;
    status.NowUnixSeconds = gateway.Now().UnixSeconds;
    status.NowText = FormatDateTime(gateway.Now());
    const View& view = gateway.m_View;
    for (int16_t port = 0; port < kPortCount; ++port) {
        if (!view.HasPortRow(port)) {
            continue;
        }
        const PortRuntime& runtime = gateway.m_Runtime[port];
        PortStatus& row = status.Ports.emplace_back();
        row.Port = port;
        row.Description = view.PortColumn(port, View::ColumnDescription);
        row.Status = view.PortColumn(port, View::ColumnStatus);
        row.TxBytesShown = view.PortColumn(port, View::ColumnTxBytes);
        row.RxBytesShown = view.PortColumn(port, View::ColumnRxBytes);
        row.Up = PortIsUp(gateway, port);
        row.Totals = runtime.Totals;
        row.LastCallText = StampText(gateway, runtime.Totals.LastCallUnixSeconds);
        row.Selected = runtime.Selected;
        row.CommFailed = runtime.CommFailed;
        row.PollFailed = PollFailureRaised(gateway.m_Ports[port], gateway.m_Runtime[port]);
    }
    LinkStatus& out = status.Link;
    out.State = view.StatusPanel(View::PanelZorvanLink);
    out.Counters = view.StatusPanel(View::PanelZorvanCounters);
    out.Connected = link.IsZorvanRunning();
    const Socket& data = gateway.Winsock_Zorvan_Data;
    if (gateway.m_General.ZorvanConnectionMethod == ZorvanMethodTcp &&
        data.State() == Socket::StateConnected) {
        out.Peer = Endpoint(data.RemoteHostIP(), data.RemotePort());
    }
    out.Buffered = link.AlarmBuffer().size();
    out.Totals = link.Totals();
    out.LastWatchdogText = StampText(gateway, out.Totals.LastWatchdogUnixSeconds);
    return status;
}

std::string StatusJson(const StatusSnapshot& status) {
    std::string ports = "[";
    for (const PortStatus& port : status.Ports) {
        ports += (ports.size() > 1 ? "," : "") + PortJson(port);
    }
    return JsonObject()
               .Text("version", status.Version)
               .Raw("startTime", std::to_string(status.StartUnixSeconds))
               .Raw("time", std::to_string(status.NowUnixSeconds))
               .Text("timeText", status.NowText)
               .Raw("ports", ports + "]")
               .Raw("alarmServer", LinkJson(status.Link))
               .Close() +
           "\n";
}

std::string StatusMetrics(const StatusSnapshot& status) {
    MetricsText out(status);
    PortMetrics(out);
    LinkMetrics(out, status.Link);
    out.Family("tellwick_build_info", "gauge", "The program's version; always 1.");
    out.Sample("version=\"" + LabelValue(status.Version) + "\"", "1");
    out.Family("process_start_time_seconds", "gauge",
               "Start time of the process since 1970 in seconds.");
    out.Sample("", std::to_string(status.StartUnixSeconds));
    return out.Text();
}

bool IsSameOrigin(const std::string& origin, const std::string& host) {
    if (origin.empty()) {
        return true;
    }
    const size_t scheme = origin.find("://");
    if (scheme == std::string::npos || host.empty()) {
        return false;
    }
    return ToUpperAscii(origin.substr(scheme + 3)) == ToUpperAscii(host);
}

StatusSnapshot StatusReport::Gather() {
    m_Gateway.BeginEvent();
    StatusSnapshot status = GatherStatus(m_Gateway, m_Link);
    status.Version = m_Version;
    status.StartUnixSeconds = m_StartUnixSeconds;
    return status;
}

}  // namespace tw
