// The daily event log: "YYYYMMDD.Log" in the log folder, one line per event.
#pragma once

#include <string>

#include "base/clock.h"
#include "base/logfolder.h"

namespace tw {

class EventLog {
  public:
    explicit EventLog(LogFolder& folder) : m_Folder(folder) {}

    // Appends "YY-MM-DD HH:NN:SS " + message + CR LF to the file of the day of
    // now; a message starting with "-" is written without the stamp. File name
    // and stamp come from the one reading now. Failures are silent.
    void WriteEventLog(const LocalTime& now, const std::string& message) const;

  private:
    LogFolder& m_Folder;
};

// "YY-MM-DD HH:NN:SS", the stamp of event-log lines and of saved debug info.
std::string FormatStamp(const LocalTime& time);

// "YYYYMMDD" + ".Log".
std::string EventLogFileName(const LocalTime& time);

// value (0..99) as two digits at text[at] and text[at + 1].
void PutTwoDigits(std::string& text, size_t at, int value);

}  // namespace tw
