#include "app/servicehealth.h"

#include <algorithm>
#include <utility>

#include "ports/connectionstatus.h"

namespace tw {

namespace {

constexpr int64_t kStatusLookMs = 1000;

struct PriorityRule {
    const char* m_Text;
    bool m_AtStart;  // else anywhere in the message
    int m_Priority;
};

// The first rule that matches decides.
constexpr PriorityRule kPriorityRules[] = {
    {"Configuration error", true, ServiceControl::PriorityError},
    {"Could not ", true, ServiceControl::PriorityError},
    {"Bad server/client configuration", true, ServiceControl::PriorityError},
    {"Supervision tick failed", true, ServiceControl::PriorityError},
    {"Alarm buffer is full", true, ServiceControl::PriorityError},
    {"Zorvan connection was reset", true, ServiceControl::PriorityError},
    {"Configuration warning", true, ServiceControl::PriorityWarning},
    {"Service manager not reached", true, ServiceControl::PriorityWarning},
    {"Zorvan connection was closed", true, ServiceControl::PriorityWarning},
    {"Dropped ", true, ServiceControl::PriorityWarning},
    {"AlarmBuffer.journal: ", true, ServiceControl::PriorityWarning},
    // A call's text never raises the priority of its line.
    {"Got ESPA message", true, ServiceControl::PriorityInfo},
    {" failed", false, ServiceControl::PriorityWarning},
    {" refused ", false, ServiceControl::PriorityWarning},
    {"Tellwick for Zorvan is starting", true, ServiceControl::PriorityNotice},
    {"ESPA Server is stopping", true, ServiceControl::PriorityNotice},
    {"Alarm buffer has room again", true, ServiceControl::PriorityNotice},
};

}  // namespace

std::string ServiceStatusLine(Gateway& gateway, AlarmLink& link) {
    int used = 0;
    int up = 0;
    for (int16_t port = 0; port < kPortCount; ++port) {
        if (gateway.m_Ports[port].PortKind != PortKindNone) {
            ++used;
            up += PortIsUp(gateway, port) ? 1 : 0;
        }
    }
    return std::string("alarm server ") + (link.IsZorvanRunning() ? "connected" : "not connected") +
           ", " + std::to_string(up) + " of " + std::to_string(used) + " ports up, " +
           std::to_string(link.AlarmBuffer().size()) + " buffered";
}

std::optional<int> SystemLogPriority(const std::string& message) {
    if (message.starts_with('-')) {
        return std::nullopt;
    }
    for (const PriorityRule& rule : kPriorityRules) {
        const bool matches = rule.m_AtStart ? message.starts_with(rule.m_Text)
                                            : message.find(rule.m_Text) != std::string::npos;
        if (matches) {
            return rule.m_Priority;
        }
    }
    return ServiceControl::PriorityInfo;
}

ServiceHealth::ServiceHealth(ServiceControl& service, std::function<std::string()> status,
                             int32_t tickMs)
    : m_Service(service), m_Status(std::move(status)) {
    const int64_t watchdogMs = service.WatchdogIntervalMs();
    m_Watched = watchdogMs > 0;
    const int64_t tick = std::max<int64_t>(tickMs, 1);
    const int64_t everyMs = m_Watched ? std::min(watchdogMs / 4, kStatusLookMs) : kStatusLookMs;
    m_TicksPerReport = std::max<int64_t>(everyMs / tick, 1);
}

void ServiceHealth::Tick() {
    if (--m_TicksToReport > 0) {
        return;
    }
    m_TicksToReport = m_TicksPerReport;
    std::string status = m_Status();
    const bool changed = status != m_LastStatus;
    if (!m_Watched && !changed) {
        return;
    }
    m_Service.ReportHealth(m_Watched, changed ? status : std::string());
    m_LastStatus = std::move(status);
}

}  // namespace tw
