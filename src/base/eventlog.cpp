#include "base/eventlog.h"

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

// Built digit by digit: every log line has one, and snprintf costs more than
// the rest of the line together.
std::string FormatStamp(const LocalTime& time) {
    std::string stamp = "00-00-00 00:00:00";
    PutTwoDigits(stamp, 0, time.Year % 100);
    PutTwoDigits(stamp, 3, time.Month);
    PutTwoDigits(stamp, 6, time.Day);
    PutTwoDigits(stamp, 9, time.Hour);
    PutTwoDigits(stamp, 12, time.Minute);
    PutTwoDigits(stamp, 15, time.Second);
    return stamp;
}

std::string EventLogFileName(const LocalTime& time) {
    std::string name = "00000000.Log";
    PutTwoDigits(name, 0, (time.Year / 100) % 100);
    PutTwoDigits(name, 2, time.Year % 100);
    PutTwoDigits(name, 4, time.Month);
    PutTwoDigits(name, 6, time.Day);
    return name;
}

void PutTwoDigits(std::string& text, size_t at, int value) {
    text[at] = static_cast<char>('0' + (value / 10) % 10);
    text[at + 1] = static_cast<char>('0' + value % 10);
}

}  // namespace tw
