// The running side of the service control on systemd: readiness, the
// watchdog and the status line through the notify socket, event entries and
// copies of the event log in the journal (syslog where there is none).
#pragma once

#include <string>

#include "platform/unitservice.h"

namespace tw {

class SystemdServiceControl : public UnitServiceControl {
  public:
    using UnitServiceControl::UnitServiceControl;

    // Sends "READY=1" when NOTIFY_SOCKET says a service manager waits for it.
    bool StartService() override;
    // Journal fields: MESSAGE, PRIORITY, SYSLOG_IDENTIFIER "tellwick" and
    // TELLWICK_EVENT with the event number.
    void LogEvent(int16_t type, int32_t eventNumber, const std::string& text) override;
    // WATCHDOG_USEC when it is meant for this process.
    int64_t WatchdogIntervalMs() const override;
    // "WATCHDOG=1" and "STATUS=..." in one message; nothing without
    // NOTIFY_SOCKET.
    void ReportHealth(bool alive, const std::string& status) override;
    // MESSAGE (UTF-8), PRIORITY and SYSLOG_IDENTIFIER "tellwick"; a line the
    // journal does not take is dropped (the file log has it).
    void CopyToSystemLog(int priority, const std::string& text) override;
};

}  // namespace tw
