#include "base/eventlog.h"

#include <cstdio>

#include "base/systemtext.h"

namespace tw {

void EventLog::WriteEventLog(const LocalTime& now, const std::string& message) const {
    std::string line;
    if (message.empty() || message[0] != '-') {
        line = FormatStamp(now) + " ";
    }
    line += message;
    line += "\r\n";
    m_Folder.Append(EventLogFileName(now), ToSystemText(line));
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
