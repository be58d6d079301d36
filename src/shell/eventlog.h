// The daily event log: LogFiles/YYYYMMDD.Log under AppFolder, one line per
// event, each line opened, appended and closed on its own.
#pragma once

#include <string>

#include "shell/clock.h"

namespace tw {

class EventLog {
  public:
    // folder: where the daily files go, ending in "/" (AppFolder + "LogFiles/").
    EventLog(std::string folder, const Clock& clock);

    // Appends "YY-MM-DD HH:NN:SS " + message + CR LF to the file of the current
    // day; a message starting with "-" is written without the stamp. The clock
    // is read once, so file name and stamp always agree. Failures are silent.
    void WriteEventLog(const std::string& message) const;

    const Clock& GetClock() const { return m_Clock; }

  private:
    std::string m_Folder;
    const Clock& m_Clock;
};

// "YY-MM-DD HH:NN:SS", the stamp of event-log lines and of saved debug info.
std::string FormatStamp(const LocalTime& time);

// "YYYYMMDD" + ".Log".
std::string EventLogFileName(const LocalTime& time);

}  // namespace tw
