// The service control: registering the gateway with the service manager,
// its small settings store, and the link to the manager while running.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

inline constexpr const char* kServiceUnitName = "tellwickforzorvan.service";
inline constexpr const char* kServiceDisplayName = "Tellwick for Zorvan";

class ServiceControl {
  public:
    // Types of LogEvent entries.
    enum : int16_t { EventError = 1, EventWarning = 2, EventInformation = 4 };

    virtual ~ServiceControl() = default;

    // The stored value, or defaultValue when there is none.
    virtual std::string GetSetting(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) const = 0;
    // False when the value could not be stored.
    virtual bool SaveSetting(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
    // True when the service was registered (and enabled to start at boot).
    virtual bool Install() = 0;
    // True when an existing registration was removed.
    virtual bool Uninstall() = 0;
    virtual std::string DisplayName() const { return kServiceDisplayName; }
    // Tells the service manager that start-up has finished. False when the
    // process was not started by a service manager.
    virtual bool StartService() = 0;
    // One entry in the system's log.
    virtual void LogEvent(int16_t type, int32_t eventNumber, const std::string& text) = 0;

    // Priorities of CopyToSystemLog, as syslog numbers them.
    enum : int { PriorityError = 3, PriorityWarning = 4, PriorityNotice = 5, PriorityInfo = 6 };

    // The longest time in milliseconds the manager waits for a sign of life
    // before it restarts the process; 0 when it watches for none.
    virtual int64_t WatchdogIntervalMs() const = 0;
    // Tells the manager that the process is alive (when alive) and what it
    // is doing (when status is not empty, one line).
    virtual void ReportHealth(bool alive, const std::string& status) = 0;
    // A copy of one event-log line (Latin-1) for the system's log.
    virtual void CopyToSystemLog(int priority, const std::string& text) = 0;
};

}  // namespace tw
