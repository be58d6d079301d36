// The link to the alarm server: builds alarm messages, delivers them by the
// configured route (generation-2 library, generation-3 library or the TCP
// connection that the alarm server opens to our listener), buffers what could
// not be delivered, answers whether the alarm server is present, and sends the
// watchdog line. Everything runs on the one event-loop thread.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/alarmjournal.h"
#include "core/gateway.h"

namespace tw {

// One alarm waiting for delivery: the complete alarm message, when it was
// raised, and its place in the order of all alarms raised (kept across
// restarts by the journal).
class cZorvanAlarm {
  public:
    std::string m_AlarmText;
    uint64_t m_Sequence = 0;
    int64_t m_RaisedAt = 0;  // seconds since 1970
};

// The most new alarms the AlarmBuffer takes; further undeliverable ones are
// dropped. Alarms taken back from a connection that ended are put in front of
// them whatever the count: they were acknowledged to a station already, and
// the connection's small send queue bounds how many there can be.
constexpr size_t kAlarmBufferCapacity = 200;

// A connection to the alarm server that has taken none of what waits for it
// for this long is closed: the alarm server has stopped reading.
constexpr int32_t kStalledConnectionLimit = 30000;

// Routes of ZorvanConnectionMethod.
enum ZorvanMethod : int16_t {
    ZorvanMethodLibrary2 = 0,
    ZorvanMethodLibrary3 = 1,
    ZorvanMethodTcp = 2
};

// The file name of the alarm server's library for a library route.
inline const char* VendorLibraryFileName(int16_t method) {
    return method == ZorvanMethodLibrary2 ? "Zorvan2.dll" : "Zorvan3.dll";
}

// Totals of the link for the life of the process.
struct AlarmTotals {
    uint64_t Sent = 0;     // alarms handed to the alarm server, at once or from the buffer (again)
    uint64_t Dropped = 0;  // alarms lost: buffer full, or buffering off
    int64_t LastWatchdogUnixSeconds = 0;  // 0: no watchdog line sent yet
};

class AlarmLink : public AlarmOutput {
  public:
    // Works on gateway's settings, Zorvan sockets and libraries, event log and
    // view; gateway must outlive the link.
    explicit AlarmLink(Gateway& gateway);
    AlarmLink(const AlarmLink&) = delete;
    AlarmLink& operator=(const AlarmLink&) = delete;

    // "1|||T0|T1|T2|T3|T4|T5" (AlarmState in decimal first), tried at once even
    // while older alarms wait; buffered when it cannot be delivered and
    // BufferIfZorvanNotConnected is on. A full buffer drops the new alarm; the
    // first drop of an episode and the end of the episode are logged.
    void SendAlarm(int16_t AlarmState, const AlarmFields& fields) override;

    // Delivers one message by the configured route; true when handed over
    // without error. Only then is it traced and counted into ZorvanTxBytes.
    // Always refreshes status-bar panel 2.
    bool SendToZorvan(const std::string& text);

    // Sends the buffered alarms oldest first, stopping at the first failure.
    void ResendBufferedAlarms();

    // PersistAlarmBuffer: from now on every alarm that goes into the buffer
    // is added to journal first, and removed from it once the alarm server
    // has it (its TCP acknowledged it, or its library took it). The alarms
    // the journal kept from the last run go into the buffer, oldest first,
    // but for those older than PersistedAlarmMaxAge; the log says how many
    // of each. journal must outlive the link.
    void KeepBufferIn(AlarmJournal& journal);
    bool KeepsBuffer() const { return m_Journal != nullptr; }

    // At a stop, with the buffer kept in a journal: the alarms the alarm
    // server's TCP has not acknowledged go back into the buffer and so stay
    // in the journal for the next start.
    void KeepUnacknowledgedAtStop();

    // Every tick, method 2: forgets the lines the alarm server's TCP has
    // acknowledged, and closes a connection that has acknowledged nothing of
    // what waits for it for kStalledConnectionLimit ms, taking its
    // unacknowledged alarms back into the buffer.
    void SuperviseConnection(int32_t elapsed);

    // Start-up, ZorvanConnectionMethod 2 only: the listener on ZorvanPort. A
    // failure is logged, and KeepListening tries again.
    void SetUpZorvanListener();

    // Once a second, method 2: a listener that is not listening tries again;
    // the success after a failure is logged once.
    void KeepListening();

    // Once a second: the summary of the Zorvan connection lines held back in
    // the minute that ended, if any.
    void SumUpConnectionLines();

    // Methods 0 and 1: loads the method's library unless it is loaded. Called
    // at start-up and by every once-a-second pass, so a library that is
    // missing is looked for at most once a second; why it failed goes to the
    // trace.
    void LoadVendorLibrary();

    // Whether the alarm server is running and active; asks the library anew on
    // every call (methods 0 and 1) or looks at the connection (method 2).
    bool IsZorvanRunning();

    // Status-bar panel 1: the alarm-server link state.
    void ShowZorvanConnectionState();

    // Counts elapsed ms; once WatchDogInterval is reached sends
    // "1|||" + WatchDogTagName + LF (never buffered) and starts again.
    void WatchDogTick(int32_t elapsed);

    // Socket event handlers; the SocketEvents adapters below call them.
    void Winsock_Zorvan_Connect_ConnectionRequest(int64_t requestId);
    void Winsock_Zorvan_Data_Close();
    void Winsock_Zorvan_Data_Error(int32_t number, const std::string& description);
    void Winsock_Zorvan_Data_DataArrival(int64_t bytesTotal);

    // What the edge registers: Winsock_Zorvan_Connect->SetEvents(&ListenerEvents())
    // and Winsock_Zorvan_Data->SetEvents(&DataEvents()).
    SocketEvents& ListenerEvents() { return m_ListenerEvents; }
    SocketEvents& DataEvents() { return m_DataEvents; }

    const std::deque<cZorvanAlarm>& AlarmBuffer() const { return m_AlarmBuffer; }
    // Alarms dropped in the current episode of a full buffer (0: none).
    int64_t DroppedWhileFull() const { return m_DroppedAlarms; }
    int32_t ZorvanTxBytes() const { return m_ZorvanTxBytes; }
    int32_t ZorvanRxBytes() const { return m_ZorvanRxBytes; }
    int32_t WatchDogElapsed() const { return m_WatchDogElapsed; }
    const AlarmTotals& Totals() const { return m_Totals; }

  private:
    // Each event starts with Gateway::BeginEvent.
    class ListenerEventsAdapter : public SocketEvents {
      public:
        explicit ListenerEventsAdapter(AlarmLink& link) : m_Link(link) {}
        void OnConnectionRequest(int64_t requestId) override;

      private:
        AlarmLink& m_Link;
    };
    class DataEventsAdapter : public SocketEvents {
      public:
        explicit DataEventsAdapter(AlarmLink& link) : m_Link(link) {}
        void OnDataArrival(int64_t bytesTotal) override;
        void OnClose() override;
        void OnError(int32_t number, const std::string& description) override;

      private:
        AlarmLink& m_Link;
    };

    // One line handed to the alarm server's connection and not yet known to
    // be acknowledged by its TCP; m_End is where it ends in the connection's
    // bytes.
    struct InFlightLine {
        std::string m_Message;
        uint64_t m_End = 0;
        bool m_Alarm = false;
        // An alarm's sequence and time, and whether the journal holds it.
        uint64_t m_Sequence = 0;
        int64_t m_RaisedAt = 0;
        bool m_Journaled = false;
    };

    bool Deliver(InFlightLine line);
    bool DeliverAlarm(const cZorvanAlarm& alarm, bool journaled);
    void Journal(std::span<const cZorvanAlarm> alarms);
    void Unjournal(uint64_t sequence);
    void NoteJournalWrite(bool written);
    std::vector<InFlightLine> TakeUnacknowledged();
    void PutBack(const std::vector<InFlightLine>& lines);
    bool HandToLibrary(VendorLibrary& library, const std::string& command, const std::string& text);
    bool SendOnConnection(InFlightLine line);
    uint64_t AcknowledgedBytes(std::optional<size_t> unacknowledged) const;
    void StartConnection();
    void TakeBackUnacknowledged();
    bool ListenOnZorvanPort();
    void LogConnection(const std::string& text);
    void CountSent(const std::string& text);
    void BufferAlarm(cZorvanAlarm alarm);
    void NoteRoomInBuffer();
    void ShowZorvanCounters();
    bool IsZorvan3Running();

    Gateway& m_Gateway;
    std::deque<cZorvanAlarm> m_AlarmBuffer;
    uint64_t m_LastSequence = 0;
    // Where the buffer is kept (PersistAlarmBuffer), and whether its last
    // write failed.
    AlarmJournal* m_Journal = nullptr;
    bool m_JournalFailing = false;
    int32_t m_ZorvanTxBytes = 0;
    int32_t m_ZorvanRxBytes = 0;
    int32_t m_WatchDogElapsed = 0;
    // Alarms dropped since the buffer became full; 0 outside such an episode.
    int64_t m_DroppedAlarms = 0;
    AlarmTotals m_Totals;
    // What was sent on the current connection and not yet acknowledged by
    // the alarm server's TCP, oldest first; the bytes sent on it and how far
    // they were acknowledged at the last tick; how long nothing more was.
    std::deque<InFlightLine> m_InFlight;
    uint64_t m_SentBytes = 0;
    uint64_t m_AckedUpTo = 0;
    int32_t m_StalledMs = 0;
    bool m_ListenFailing = false;
    LogFloodGate m_ConnectionLog;
    ListenerEventsAdapter m_ListenerEvents{*this};
    DataEventsAdapter m_DataEvents{*this};
};

}  // namespace tw
