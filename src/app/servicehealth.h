// What a service tells its manager besides "ready": a one-line status, the
// watchdog's sign of life from the supervision tick (so a stalled event loop
// is noticed and restarted), and the priority of each event-log line copied
// to the system's log.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "alarmlink/alarmlink.h"
#include "core/gateway.h"
#include "core/servicecontrol.h"

namespace tw {

// "alarm server connected, 3 of 4 ports up, 0 buffered": the alarm-server
// link, the ports in use that are up, the alarms waiting for delivery.
std::string ServiceStatusLine(Gateway& gateway, AlarmLink& link);

// The system-log priority of an event-log message; nullopt for the separator
// line, which is not copied.
std::optional<int> SystemLogPriority(const std::string& message);

// Reports from the supervision tick: every quarter of the watchdog interval
// (at most once a second, at least every tick) the sign of life, with the
// status line when it changed; without a watchdog, the status line alone
// when it changed, looked at once a second. The first tick reports.
class ServiceHealth {
  public:
    ServiceHealth(ServiceControl& service, std::function<std::string()> status, int32_t tickMs);

    void Tick();

  private:
    ServiceControl& m_Service;
    std::function<std::string()> m_Status;
    bool m_Watched = false;
    int64_t m_TicksPerReport;
    int64_t m_TicksToReport = 0;
    std::string m_LastStatus;
};

}  // namespace tw
