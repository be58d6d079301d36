// The alarm journal on disk: an append-only file of records, each a length, a
// CRC-32 and a body, the body an alarm added to the buffer or the sequence of
// one removed from it. A record that a crash or a power cut cut off is
// ignored; records behind a damaged one are still found. The file is
// rewritten with only the alarms it holds at start-up and when removed ones
// take up most of it, and cut to nothing when it holds none.
//
// An added alarm is on disk (fdatasync) before Add returns; a removal is
// written without waiting for the disk, so a power cut may bring back an
// alarm that was delivered (a duplicate), never lose one.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "core/alarmjournal.h"

namespace tw {

class AlarmJournalFile : public AlarmJournal {
  public:
    // path: the journal file; nothing is opened or created before Restore.
    explicit AlarmJournalFile(std::string path);
    ~AlarmJournalFile() override;
    AlarmJournalFile(const AlarmJournalFile&) = delete;
    AlarmJournalFile& operator=(const AlarmJournalFile&) = delete;

    // Also rewrites the file with only the alarms it holds, dropping what was
    // damaged. A file that exists but cannot be read is left alone, and
    // nothing is written to it.
    JournalContents Restore() override;
    bool Add(const std::vector<JournaledAlarm>& alarms) override;
    bool Remove(uint64_t sequence) override;
    bool HoldsRecords() const override;
    const std::string& Error() const override { return m_Error; }

  private:
    bool Append(const std::string& record, bool sync);
    bool Rewrite();
    bool Empty();
    bool Fail(int error);

    std::string m_Path;
    std::string m_Name;  // the file name, for log lines
    int m_File = -1;     // open for appending once Restore has read the file
    bool m_Readable = false;
    // The alarms held, by sequence, and the bytes their records take.
    std::map<uint64_t, JournaledAlarm> m_Alarms;
    uint64_t m_AlarmBytes = 0;
    uint64_t m_Size = 0;  // the file's length as written
    // A write failed: the file may lack alarms until it is rewritten.
    bool m_Failing = false;
    std::string m_Error;
};

}  // namespace tw
