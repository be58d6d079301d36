#include "shell/eventlog.h"

#include <cstdio>

#include "shell/systemtext.h"

namespace tw {

EventLog::EventLog(std::string folder, const Clock& clock)
    : m_Folder(std::move(folder)), m_Clock(clock) {}

void EventLog::WriteEventLog(const std::string& message) const {
    const LocalTime now = m_Clock.Now();
    std::string line;
    if (message.empty() || message[0] != '-') {
        line = FormatStamp(now) + " ";
    }
    line += message;
    line += "\r\n";
    AppendToFile(m_Folder + EventLogFileName(now), ToSystemText(line));
}

std::string FormatStamp(const LocalTime& time) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d-%02d-%02d %02d:%02d:%02d", time.Year % 100, time.Month,
                  time.Day, time.Hour, time.Minute, time.Second);
    return stamp;
}

std::string EventLogFileName(const LocalTime& time) {
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d.Log", time.Year, time.Month, time.Day);
    return name;
}

}  // namespace tw
