// Where the alarm buffer is kept across restarts and crashes: an alarm that
// goes into the buffer is added before its call is acknowledged, and removed
// once the alarm server has it. The alarm link works through this interface;
// tests give it a fake.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tw {

// The journal's file in the application folder.
inline constexpr const char* kAlarmJournalFileName = "AlarmBuffer.journal";

struct JournaledAlarm {
    uint64_t Sequence = 0;  // the order in which the alarms were raised
    int64_t RaisedAt = 0;   // seconds since 1970
    std::string Text;       // the alarm message
};

// What an earlier run left in the journal.
struct JournalContents {
    std::vector<JournaledAlarm> Alarms;  // oldest first, each once
    uint64_t LastSequence = 0;           // the highest sequence the journal has seen
    std::vector<std::string> Notes;      // what was damaged or unreadable, one log line each
};

class AlarmJournal {
  public:
    virtual ~AlarmJournal() = default;

    // Reads what an earlier run left. Nothing is written before this.
    virtual JournalContents Restore() = 0;

    // Keeps the alarms on disk before it returns (all with one wait for the
    // disk). False when that failed (Error says why): the journal still
    // holds them and writes them with the next write that works.
    virtual bool Add(const std::vector<JournaledAlarm>& alarms) = 0;

    // The alarm server has the alarm; a sequence the journal does not hold is
    // ignored. False when the write failed.
    virtual bool Remove(uint64_t sequence) = 0;

    // Whether an earlier run left records in the journal, without reading it.
    virtual bool HoldsRecords() const = 0;

    // Why the last write or the reading failed.
    virtual const std::string& Error() const = 0;
};

}  // namespace tw
