#include "platform/systemdservice.h"

#include <syslog.h>
#include <systemd/sd-daemon.h>
#include <systemd/sd-journal.h>

#include <cstdlib>

namespace tw {

namespace {

int Priority(int16_t type) {
    switch (type) {
        case ServiceControl::EventError:
            return LOG_ERR;
        case ServiceControl::EventWarning:
            return LOG_WARNING;
        default:
            return LOG_INFO;
    }
}

}  // namespace

bool SystemdServiceControl::StartService() {
    if (std::getenv("NOTIFY_SOCKET") == nullptr) {
        return false;
    }
    return sd_notify(0, "READY=1") > 0;
}

void SystemdServiceControl::LogEvent(int16_t type, int32_t eventNumber, const std::string& text) {
    const int priority = Priority(type);
    const int sent =
        sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", priority,
                        "SYSLOG_IDENTIFIER=tellwick", "TELLWICK_EVENT=%d", eventNumber, nullptr);
    if (sent < 0) {
        openlog("tellwick", LOG_PID, LOG_DAEMON);
        syslog(priority, "%s", text.c_str());
        closelog();
    }
}

}  // namespace tw
