// What the status server answers: a snapshot of the ports and the alarm link
// gathered for each request, as JSON, as Prometheus text and as the HTML
// page. Framework-free; the server at the edge only carries the texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "alarmlink/alarmlink.h"
#include "core/gateway.h"

namespace tw {

struct PortStatus {
    int16_t Port = 0;
    std::string Description;
    std::string Status;        // the Status column
    std::string TxBytesShown;  // the Tx bytes column, 0..65535
    std::string RxBytesShown;
    bool Up = false;
    PortTotals Totals;
    std::string LastCallText;  // "" before the first call
    bool Selected = false;
    bool CommFailed = false;
    bool PollFailed = false;
};

struct LinkStatus {
    std::string State;     // the status bar's link panel
    std::string Counters;  // the status bar's counter panel
    bool Connected = false;
    std::string Peer;  // "address:port" of the alarm server's connection; "" when none
    size_t Buffered = 0;
    AlarmTotals Totals;
    std::string LastWatchdogText;  // "" before the first watchdog line
};

struct StatusSnapshot {
    std::string Version;
    int64_t StartUnixSeconds = 0;
    int64_t NowUnixSeconds = 0;
    std::string NowText;
    std::vector<PortStatus> Ports;  // the ports with a row, in port order
    LinkStatus Link;
};

// The current state; version and start time are left for the caller.
StatusSnapshot GatherStatus(Gateway& gateway, AlarmLink& link);

// One JSON object, UTF-8; the fields are listed in the README.
std::string StatusJson(const StatusSnapshot& status);

// Prometheus text exposition format 0.0.4, UTF-8.
std::string StatusMetrics(const StatusSnapshot& status);

// The page, self-contained (no external assets), with statusJson as its
// first picture; it then asks for /api/status once a second. watchTrace:
// the trace starts at once (the /trace page).
std::string StatusPage(const std::string& statusJson, bool watchTrace);

// Whether a WebSocket's Origin header names the server it came to (host, the
// Host header, as "address:port"), in any case; true when there is no
// origin (a client that is no browser).
bool IsSameOrigin(const std::string& origin, const std::string& host);

// The three answers for one gateway; each gathers afresh as an event of its
// own.
class StatusReport {
  public:
    StatusReport(Gateway& gateway, AlarmLink& link, std::string version, int64_t startUnixSeconds)
        : m_Gateway(gateway),
          m_Link(link),
          m_Version(std::move(version)),
          m_StartUnixSeconds(startUnixSeconds) {}

    std::string Json() { return StatusJson(Gather()); }
    std::string Metrics() { return StatusMetrics(Gather()); }
    std::string Page(bool watchTrace) { return StatusPage(Json(), watchTrace); }

  private:
    StatusSnapshot Gather();

    Gateway& m_Gateway;
    AlarmLink& m_Link;
    std::string m_Version;
    int64_t m_StartUnixSeconds;
};

}  // namespace tw
