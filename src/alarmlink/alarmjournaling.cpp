// The alarm link's side of the durable alarm buffer: restoring the buffer
// from its journal, and keeping the journal in step with the buffer.
#include "alarmlink/alarmlink.h"

#include <algorithm>
#include <span>
#include <vector>

namespace tw {

void AlarmLink::Journal(std::span<const cZorvanAlarm> alarms) {
    if (m_Journal == nullptr || alarms.empty()) {
        return;
    }
    std::vector<JournaledAlarm> records;
    records.reserve(alarms.size());
    for (const cZorvanAlarm& alarm : alarms) {
        records.push_back({alarm.m_Sequence, alarm.m_RaisedAt, alarm.m_AlarmText});
    }
    NoteJournalWrite(m_Journal->Add(records));
}

void AlarmLink::Unjournal(uint64_t sequence) {
    if (m_Journal != nullptr) {
        NoteJournalWrite(m_Journal->Remove(sequence));
    }
}

// One line when the journal's writes start failing, one when they work again.
void AlarmLink::NoteJournalWrite(bool written) {
    if (written != m_JournalFailing) {
        return;
    }
    m_JournalFailing = !written;
    const std::string name = kAlarmJournalFileName;
    m_Gateway.WriteEventLog(written
                                ? name + " is written again"
                                : "Could not write " + name + " (" + m_Journal->Error() +
                                      "), buffered alarms are kept in memory only until it can");
}

void AlarmLink::KeepBufferIn(AlarmJournal& journal) {
    m_Journal = &journal;
    JournalContents kept = journal.Restore();
    for (const std::string& note : kept.Notes) {
        m_Gateway.WriteEventLog(note);
    }
    NoteJournalWrite(journal.Error().empty());
    m_LastSequence = std::max(m_LastSequence, kept.LastSequence);
    const int32_t maxAge = m_Gateway.m_General.PersistedAlarmMaxAge;
    const int64_t now = m_Gateway.Now().UnixSeconds;
    size_t restored = 0;
    size_t tooOld = 0;
    for (JournaledAlarm& alarm : kept.Alarms) {
        if (maxAge > 0 && now - alarm.RaisedAt > maxAge) {
            Unjournal(alarm.Sequence);
            ++tooOld;
            continue;
        }
        m_AlarmBuffer.push_back(
            cZorvanAlarm{std::move(alarm.Text), alarm.Sequence, alarm.RaisedAt});
        ++restored;
    }
    const std::string name = kAlarmJournalFileName;
    if (tooOld > 0) {
        m_Totals.Dropped += tooOld;
        m_Gateway.WriteEventLog("Dropped " + std::to_string(tooOld) + " alarm(s) from " + name +
                                ", older than " + std::to_string(maxAge) + " s");
    }
    m_Gateway.WriteEventLog("Restored " + std::to_string(restored) + " buffered alarm(s) from " +
                            name);
}

void AlarmLink::KeepUnacknowledgedAtStop() {
    if (m_Journal != nullptr && m_Gateway.m_General.BufferIfZorvanNotConnected) {
        PutBack(TakeUnacknowledged());
    }
}

// In front of the buffer, oldest first; alarms that were delivered at once
// go into the journal now, since their calls were acknowledged.
void AlarmLink::PutBack(const std::vector<InFlightLine>& lines) {
    std::deque<cZorvanAlarm> alarms;
    std::vector<cZorvanAlarm> unjournaled;
    for (const InFlightLine& line : lines) {
        alarms.push_back(cZorvanAlarm{line.m_Message, line.m_Sequence, line.m_RaisedAt});
        if (!line.m_Journaled) {
            unjournaled.push_back(alarms.back());
        }
    }
    Journal(unjournaled);
    m_AlarmBuffer.insert(m_AlarmBuffer.begin(), alarms.begin(), alarms.end());
}

}  // namespace tw
