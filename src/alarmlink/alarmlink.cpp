#include "alarmlink/alarmlink.h"

#include <span>
#include <vector>

#include "base/counters.h"
#include "base/hostfilter.h"
#include "espa/trace.h"

namespace tw {
namespace {

// The alarm-server link's label in the communication trace.
constexpr int16_t kZorvanTracePort = -1;

// Bit masks of GetRunningApps.
constexpr int32_t kAppAlarmServer = 0x1;
constexpr int32_t kAppCheckA = 0x100;
constexpr int32_t kAppCheckB = 0x200;
constexpr int32_t kAppActive = 0x400;

// Prefix of a generation-3 command: "SA:", the digit 1 and seven 0xFE bytes.
const std::string& Zorvan3CommandPrefix() {
    static const std::string prefix = "SA:1" + std::string(7, '\xFE');
    return prefix;
}

bool Answers(VendorLibrary& library, int32_t mask) {
    const auto answer = library.GetRunningApps(mask);
    return answer.has_value() && *answer != 0;
}

bool IsConnected(const Socket& socket) {
    return socket.State() == Socket::StateConnected;
}

}  // namespace

AlarmLink::AlarmLink(Gateway& gateway) : m_Gateway(gateway) {}

void AlarmLink::SendAlarm(int16_t AlarmState, const AlarmFields& fields) {
    std::string message = std::to_string(AlarmState) + "|||" + fields[0];
    for (size_t i = 1; i < fields.size(); ++i) {
        message += "|" + fields[i];
    }
    cZorvanAlarm alarm{std::move(message), ++m_LastSequence, m_Gateway.Now().UnixSeconds};
    if (DeliverAlarm(alarm, false)) {
        ++m_Totals.Sent;
        return;
    }
    if (m_Gateway.m_General.BufferIfZorvanNotConnected) {
        BufferAlarm(std::move(alarm));
    } else {
        ++m_Totals.Dropped;
    }
}

// In the journal before the call is acknowledged, which happens only after
// SendAlarm returns.
void AlarmLink::BufferAlarm(cZorvanAlarm alarm) {
    if (m_AlarmBuffer.size() < kAlarmBufferCapacity) {
        Journal(std::span(&alarm, 1));
        m_AlarmBuffer.push_back(std::move(alarm));
        return;
    }
    if (m_DroppedAlarms == 0) {
        m_Gateway.WriteEventLog("Alarm buffer is full (" + std::to_string(kAlarmBufferCapacity) +
                                " alarms), new alarms are dropped until it has room again");
    }
    ++m_DroppedAlarms;
    ++m_Totals.Dropped;
}

void AlarmLink::NoteRoomInBuffer() {
    if (m_DroppedAlarms == 0 || m_AlarmBuffer.size() >= kAlarmBufferCapacity) {
        return;
    }
    m_Gateway.WriteEventLog("Alarm buffer has room again, " + std::to_string(m_DroppedAlarms) +
                            " alarm(s) were dropped while it was full");
    m_DroppedAlarms = 0;
}

bool AlarmLink::SendToZorvan(const std::string& text) {
    return Deliver(InFlightLine{text});
}

// A journaled alarm leaves the journal once the alarm server has it: at once
// when its library took it, on a connection once its TCP acknowledged it.
bool AlarmLink::DeliverAlarm(const cZorvanAlarm& alarm, bool journaled) {
    if (!Deliver(InFlightLine{alarm.m_AlarmText, 0, true, alarm.m_Sequence, alarm.m_RaisedAt,
                              journaled})) {
        return false;
    }
    if (journaled && m_Gateway.m_General.ZorvanConnectionMethod != ZorvanMethodTcp) {
        Unjournal(alarm.m_Sequence);
    }
    return true;
}

bool AlarmLink::Deliver(InFlightLine line) {
    const std::string& text = line.m_Message;
    bool sent = false;
    switch (m_Gateway.m_General.ZorvanConnectionMethod) {
        case ZorvanMethodLibrary2:
            sent = HandToLibrary(m_Gateway.Zorvan2, "TA:" + text, text);
            break;
        case ZorvanMethodLibrary3:
            sent = HandToLibrary(m_Gateway.Zorvan3, Zorvan3CommandPrefix() + text, text);
            break;
        case ZorvanMethodTcp:
            sent = SendOnConnection(std::move(line));
            break;
        default:
            break;
    }
    ShowZorvanCounters();
    return sent;
}

bool AlarmLink::HandToLibrary(VendorLibrary& library, const std::string& command,
                              const std::string& text) {
    if (!library.SetCommandEntry(command)) {
        return false;
    }
    WriteCommTrace(m_Gateway, kZorvanTracePort, text, TraceTransmit);
    CountSent(text);
    return true;
}

bool AlarmLink::SendOnConnection(InFlightLine line) {
    Socket& data = m_Gateway.Winsock_Zorvan_Data;
    if (!IsConnected(data)) {
        return false;
    }
    const std::string bytes = line.m_Message + "\n";
    if (!data.SendData(bytes)) {
        return false;
    }
    m_SentBytes += bytes.size();
    line.m_End = m_SentBytes;
    WriteCommTrace(m_Gateway, kZorvanTracePort, bytes, TraceTransmit);
    CountSent(line.m_Message);
    m_InFlight.push_back(std::move(line));
    return true;
}

void AlarmLink::CountSent(const std::string& text) {
    m_ZorvanTxBytes = AddByteCount(m_ZorvanTxBytes, static_cast<int64_t>(text.size()));
}

void AlarmLink::ShowZorvanCounters() {
    m_Gateway.m_View.SetStatusPanel(View::PanelZorvanCounters,
                                    "Zorvan TxBytes:" + std::to_string(m_ZorvanTxBytes) +
                                        ", RxBytes:" + std::to_string(m_ZorvanRxBytes));
}

void AlarmLink::ResendBufferedAlarms() {
    while (!m_AlarmBuffer.empty() && DeliverAlarm(m_AlarmBuffer.front(), KeepsBuffer())) {
        m_AlarmBuffer.pop_front();
        ++m_Totals.Sent;
    }
    NoteRoomInBuffer();
}

void AlarmLink::SuperviseConnection(int32_t elapsed) {
    Socket& data = m_Gateway.Winsock_Zorvan_Data;
    if (m_Gateway.m_General.ZorvanConnectionMethod != ZorvanMethodTcp || !IsConnected(data)) {
        m_StalledMs = 0;
        return;
    }
    const uint64_t before = m_AckedUpTo;
    const std::optional<size_t> unacknowledged = data.UnacknowledgedBytes();
    m_AckedUpTo = unacknowledged ? AcknowledgedBytes(unacknowledged) : m_SentBytes;
    while (!m_InFlight.empty() && m_InFlight.front().m_End <= m_AckedUpTo) {
        if (m_InFlight.front().m_Journaled) {
            Unjournal(m_InFlight.front().m_Sequence);
        }
        m_InFlight.pop_front();
    }
    // Stalled: something waits for the alarm server, and nothing more of it
    // was acknowledged since the last tick.
    const bool waiting = m_AckedUpTo < m_SentBytes || data.BytesToWrite() > 0;
    m_StalledMs = waiting && m_AckedUpTo == before ? AddClamped(m_StalledMs, elapsed) : 0;
    if (m_StalledMs < kStalledConnectionLimit) {
        return;
    }
    m_Gateway.WriteEventLog("Zorvan connection closed: it has taken no data for " +
                            std::to_string(kStalledConnectionLimit / 1000) + " s");
    TakeBackUnacknowledged();
    data.Reset();
    ShowZorvanConnectionState();
}

// Where the alarm server's TCP has acknowledged up to. When the system
// cannot tell, what it said at the last tick stands.
uint64_t AlarmLink::AcknowledgedBytes(std::optional<size_t> unacknowledged) const {
    return unacknowledged && *unacknowledged <= m_SentBytes ? m_SentBytes - *unacknowledged
                                                            : m_AckedUpTo;
}

void AlarmLink::StartConnection() {
    m_InFlight.clear();
    m_SentBytes = 0;
    m_AckedUpTo = 0;
    m_StalledMs = 0;
}

// The alarms on the connection that its TCP never acknowledged, which
// cannot have been read there; those it did acknowledge leave the journal.
// Watchdog lines are not repeated.
std::vector<AlarmLink::InFlightLine> AlarmLink::TakeUnacknowledged() {
    const uint64_t acknowledged =
        AcknowledgedBytes(m_Gateway.Winsock_Zorvan_Data.UnacknowledgedBytes());
    std::vector<InFlightLine> again;
    for (InFlightLine& line : m_InFlight) {
        if (line.m_Alarm && line.m_End > acknowledged) {
            again.push_back(std::move(line));
        } else if (line.m_Journaled) {
            Unjournal(line.m_Sequence);
        }
    }
    m_InFlight.clear();
    return again;
}

// The connection ends: what its TCP never acknowledged goes out again first
// on the next connection.
void AlarmLink::TakeBackUnacknowledged() {
    const std::vector<InFlightLine> again = TakeUnacknowledged();
    if (again.empty()) {
        return;
    }
    const std::string count = std::to_string(again.size());
    if (!m_Gateway.m_General.BufferIfZorvanNotConnected) {
        for (const InFlightLine& line : again) {
            if (line.m_Journaled) {
                Unjournal(line.m_Sequence);
            }
        }
        m_Totals.Dropped += again.size();
        m_Gateway.WriteEventLog("Zorvan connection ended before the alarm server acknowledged " +
                                count + " alarm(s), which are lost (no buffering)");
        return;
    }
    PutBack(again);
    m_Gateway.WriteEventLog("Zorvan connection ended before the alarm server acknowledged " +
                            count + " alarm(s), which are sent again");
}

void AlarmLink::SetUpZorvanListener() {
    if (m_Gateway.m_General.ZorvanConnectionMethod != ZorvanMethodTcp) {
        return;
    }
    Socket& listener = m_Gateway.Winsock_Zorvan_Connect;
    listener.SetLocalPort(m_Gateway.m_General.ZorvanPort);
    listener.SetLocalAddress(m_Gateway.m_General.ZorvanListenAddress);
    ListenOnZorvanPort();
}

bool AlarmLink::ListenOnZorvanPort() {
    std::string error;
    const std::string port = std::to_string(m_Gateway.m_General.ZorvanPort);
    if (m_Gateway.Winsock_Zorvan_Connect.Listen(error)) {
        if (m_ListenFailing) {
            m_Gateway.WriteEventLog("Zorvan port (" + port + ") is in listen mode again");
        }
        m_ListenFailing = false;
        return true;
    }
    if (!m_ListenFailing) {
        m_Gateway.WriteEventLog("Could not set Zorvan port (" + port +
                                ") to listen mode, err: " + error);
    }
    m_ListenFailing = true;
    return false;
}

void AlarmLink::KeepListening() {
    if (m_Gateway.m_General.ZorvanConnectionMethod == ZorvanMethodTcp && m_ListenFailing &&
        m_Gateway.Winsock_Zorvan_Connect.State() != Socket::StateListening &&
        ListenOnZorvanPort()) {
        ShowZorvanConnectionState();
    }
}

void AlarmLink::LogConnection(const std::string& text) {
    m_Gateway.WriteConnectionLine(m_ConnectionLog, text);
}

void AlarmLink::SumUpConnectionLines() {
    m_Gateway.SumUpConnectionLines(m_ConnectionLog, "Zorvan connections");
}

void AlarmLink::LoadVendorLibrary() {
    const int16_t method = m_Gateway.m_General.ZorvanConnectionMethod;
    if (method != ZorvanMethodLibrary2 && method != ZorvanMethodLibrary3) {
        return;
    }
    const bool second = method == ZorvanMethodLibrary2;
    std::string reason;
    if (!(second ? m_Gateway.Zorvan2 : m_Gateway.Zorvan3).Load(reason)) {
        WriteTraceNote(m_Gateway,
                       std::string(VendorLibraryFileName(method)) + " not loaded: " + reason);
    }
}

bool AlarmLink::IsZorvanRunning() {
    switch (m_Gateway.m_General.ZorvanConnectionMethod) {
        case ZorvanMethodLibrary2:
            return Answers(m_Gateway.Zorvan2, kAppAlarmServer);
        case ZorvanMethodLibrary3:
            return IsZorvan3Running();
        case ZorvanMethodTcp:
            return IsConnected(m_Gateway.Winsock_Zorvan_Data);
        default:
            return false;
    }
}

bool AlarmLink::IsZorvan3Running() {
    VendorLibrary& library = m_Gateway.Zorvan3;
    if (!Answers(library, kAppAlarmServer)) {
        return false;
    }
    // Both questions are asked, in this order, before the answers are weighed;
    // an error in either makes the answer false.
    const auto checkA = library.GetRunningApps(kAppCheckA);
    if (!checkA.has_value()) {
        return false;
    }
    const auto checkB = library.GetRunningApps(kAppCheckB);
    if (!checkB.has_value()) {
        return false;
    }
    if (*checkA == 0 && *checkB == 0) {
        return true;
    }
    return Answers(library, kAppActive);
}

void AlarmLink::ShowZorvanConnectionState() {
    View& view = m_Gateway.m_View;
    const int16_t method = m_Gateway.m_General.ZorvanConnectionMethod;
    if (method == ZorvanMethodLibrary2 || method == ZorvanMethodLibrary3) {
        const std::string name = method == ZorvanMethodLibrary2 ? "Zorvan 2" : "Zorvan 3";
        view.SetStatusPanel(View::PanelZorvanLink,
                            name + (IsZorvanRunning() ? " is running" : " is not running"));
        return;
    }
    if (method != ZorvanMethodTcp) {
        return;
    }
    const Socket& listener = m_Gateway.Winsock_Zorvan_Connect;
    const std::string port = std::to_string(listener.LocalPort());
    const Socket& data = m_Gateway.Winsock_Zorvan_Data;
    if (listener.State() != Socket::StateListening) {
        view.SetStatusPanel(View::PanelZorvanLink,
                            "Zorvan connections at port " + port + " are disabled");
    } else if (IsConnected(data)) {
        view.SetStatusPanel(
            View::PanelZorvanLink,
            "Connected to Zorvan " + Endpoint(data.RemoteHostIP(), data.RemotePort()));
    } else {
        view.SetStatusPanel(View::PanelZorvanLink, "Waiting for Zorvan connection at port " + port);
    }
}

void AlarmLink::WatchDogTick(int32_t elapsed) {
    const GeneralSettings& general = m_Gateway.m_General;
    if (general.WatchDogInterval <= 0) {
        return;
    }
    // Held at the int32 limit, which still reaches any interval.
    m_WatchDogElapsed = AddClamped(m_WatchDogElapsed, elapsed);
    if (m_WatchDogElapsed < general.WatchDogInterval) {
        return;
    }
    if (!general.WatchDogTagName.empty() &&
        SendToZorvan(std::to_string(AlarmStateRaised) + "|||" + general.WatchDogTagName + "\n")) {
        m_Totals.LastWatchdogUnixSeconds = m_Gateway.Now().UnixSeconds;
    }
    m_WatchDogElapsed = 0;
}

void AlarmLink::Winsock_Zorvan_Connect_ConnectionRequest(int64_t requestId) {
    Socket& listener = m_Gateway.Winsock_Zorvan_Connect;
    Socket& data = m_Gateway.Winsock_Zorvan_Data;
    const std::string peer = Endpoint(listener.RemoteHostIP(), listener.RemotePort());
    // Checked before the current connection is dropped, so that a refused
    // host cannot knock the alarm server off.
    if (!IsHostAllowed(m_Gateway.m_General.ZorvanAllowedHosts, listener.RemoteHostIP())) {
        LogConnection("Refused Zorvan connection from " + peer + " (not in ZorvanAllowedHosts)");
        return;
    }
    // One connection at a time: the newest replaces the older, which keeps
    // nothing of what it was not yet sure to have delivered.
    TakeBackUnacknowledged();
    data.Reset();
    if (data.Accept(requestId)) {
        StartConnection();
        LogConnection("Accepted Zorvan connection from " + peer);
    } else {
        LogConnection("Could not accept Zorvan connection from " + peer);
    }
    ShowZorvanConnectionState();
}

void AlarmLink::Winsock_Zorvan_Data_Close() {
    const bool reset = m_Gateway.Winsock_Zorvan_Data.PartnerReset();
    TakeBackUnacknowledged();
    m_Gateway.Winsock_Zorvan_Data.Close();
    ShowZorvanConnectionState();
    LogConnection("Zorvan connection was closed");
    // A reset is what a killed or aborting alarm server sends when it had
    // not read everything: the alarms its TCP had taken are gone with it,
    // and no count of them exists on this side.
    if (reset) {
        LogConnection(
            "Zorvan connection was reset by the alarm server: alarms it had received but not "
            "read, if any, are lost");
    }
}

void AlarmLink::Winsock_Zorvan_Data_Error(int32_t /*number*/, const std::string& description) {
    TakeBackUnacknowledged();
    m_Gateway.Winsock_Zorvan_Data.Close();
    ShowZorvanConnectionState();
    LogConnection("Zorvan connection failed (" + description + ")");
}

void AlarmLink::Winsock_Zorvan_Data_DataArrival(int64_t /*bytesTotal*/) {
    // Nothing the alarm server sends is interpreted: read, count, discard.
    const std::string received = m_Gateway.Winsock_Zorvan_Data.GetData();
    m_ZorvanRxBytes = AddByteCount(m_ZorvanRxBytes, static_cast<int64_t>(received.size()));
    ShowZorvanCounters();
}

void AlarmLink::ListenerEventsAdapter::OnConnectionRequest(int64_t requestId) {
    m_Link.m_Gateway.BeginEvent();
    m_Link.Winsock_Zorvan_Connect_ConnectionRequest(requestId);
}

void AlarmLink::DataEventsAdapter::OnDataArrival(int64_t bytesTotal) {
    m_Link.m_Gateway.BeginEvent();
    m_Link.Winsock_Zorvan_Data_DataArrival(bytesTotal);
}

void AlarmLink::DataEventsAdapter::OnClose() {
    m_Link.m_Gateway.BeginEvent();
    m_Link.Winsock_Zorvan_Data_Close();
}

void AlarmLink::DataEventsAdapter::OnError(int32_t number, const std::string& description) {
    m_Link.m_Gateway.BeginEvent();
    m_Link.Winsock_Zorvan_Data_Error(number, description);
}

}  // namespace tw
