#include "platform/systemdservice.h"

#include <syslog.h>
#include <systemd/sd-daemon.h>
#include <systemd/sd-journal.h>

#include <cstdlib>

#include "base/systemtext.h"

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

int64_t SystemdServiceControl::WatchdogIntervalMs() const {
    uint64_t microseconds = 0;
    if (sd_watchdog_enabled(0, &microseconds) <= 0) {
        return 0;
    }
    return static_cast<int64_t>(microseconds / 1000);
}

void SystemdServiceControl::ReportHealth(bool alive, const std::string& status) {
    if (std::getenv("NOTIFY_SOCKET") == nullptr) {
        return;
    }
    std::string message;
    if (alive) {
        message += "WATCHDOG=1\n";
    }
    if (!status.empty()) {
        message += "STATUS=" + Latin1ToUtf8(status) + "\n";
    }
    if (!message.empty()) {
        sd_notify(0, message.c_str());
    }
}

void SystemdServiceControl::CopyToSystemLog(int priority, const std::string& text) {
    sd_journal_send("MESSAGE=%s", Latin1ToUtf8(text).c_str(), "PRIORITY=%d", priority,
                    "SYSLOG_IDENTIFIER=tellwick", nullptr);
}

}  // namespace tw
