// The running side of the service control on systemd: readiness through
// sd_notify, event entries in the journal (syslog where there is none).
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
};

}  // namespace tw
