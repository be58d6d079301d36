#include "alarmlink/alarmlink.h"

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
    if (SendToZorvan(message)) {
        ++m_Totals.Sent;
        return;
    }
    if (m_Gateway.m_General.BufferIfZorvanNotConnected) {
        BufferAlarm(message);
    } else {
        ++m_Totals.Dropped;
    }
}

void AlarmLink::BufferAlarm(const std::string& message) {
    if (m_AlarmBuffer.size() < kAlarmBufferCapacity) {
        m_AlarmBuffer.push_back(cZorvanAlarm{message});
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
    bool sent = false;
    switch (m_Gateway.m_General.ZorvanConnectionMethod) {
        case ZorvanMethodLibrary2:
            sent = HandToLibrary(m_Gateway.Zorvan2, "TA:" + text, text);
            break;
        case ZorvanMethodLibrary3:
            sent = HandToLibrary(m_Gateway.Zorvan3, Zorvan3CommandPrefix() + text, text);
            break;
        case ZorvanMethodTcp:
            sent = SendOnConnection(text);
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

bool AlarmLink::SendOnConnection(const std::string& text) {
    Socket& data = m_Gateway.Winsock_Zorvan_Data;
    if (!IsConnected(data)) {
        return false;
    }
    const std::string line = text + "\n";
    if (!data.SendData(line)) {
        return false;
    }
    WriteCommTrace(m_Gateway, kZorvanTracePort, line, TraceTransmit);
    CountSent(text);
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
    while (!m_AlarmBuffer.empty() && SendToZorvan(m_AlarmBuffer.front().m_AlarmText)) {
        m_AlarmBuffer.pop_front();
        ++m_Totals.Sent;
    }
    NoteRoomInBuffer();
}

void AlarmLink::SetUpZorvanListener() {
    Socket& listener = m_Gateway.Winsock_Zorvan_Connect;
    if (m_Gateway.m_General.ZorvanConnectionMethod != ZorvanMethodTcp) {
        return;
    }
    listener.SetLocalPort(m_Gateway.m_General.ZorvanPort);
    listener.SetLocalAddress(m_Gateway.m_General.ZorvanListenAddress);
    std::string error;
    if (!listener.Listen(error)) {
        m_Gateway.WriteEventLog("Could not set Zorvan port (" +
                                std::to_string(m_Gateway.m_General.ZorvanPort) +
                                ") to listen mode, err: " + error);
    }
}

void AlarmLink::LoadVendorLibrary() {
    const int16_t method = m_Gateway.m_General.ZorvanConnectionMethod;
    if (method != ZorvanMethodLibrary2 && method != ZorvanMethodLibrary3) {
        return;
    }
    const bool second = method == ZorvanMethodLibrary2;
    std::string reason;
    if (!(second ? m_Gateway.Zorvan2 : m_Gateway.Zorvan3).Load(reason)) {
        WriteTraceNote(m_Gateway, std::string(second ? "Zorvan2.dll" : "Zorvan3.dll") +
                                      " not loaded: " + reason);
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
        view.SetStatusPanel(View::PanelZorvanLink, "Connected to Zorvan " + data.RemoteHostIP() +
                                                       ":" + std::to_string(data.RemotePort()));
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
    const std::string peer = listener.RemoteHostIP() + ":" + std::to_string(listener.RemotePort());
    // Checked before the current connection is dropped, so that a refused
    // host cannot knock the alarm server off.
    if (!IsHostAllowed(m_Gateway.m_General.ZorvanAllowedHosts, listener.RemoteHostIP())) {
        m_Gateway.WriteEventLog("Refused Zorvan connection from " + peer +
                                " (not in ZorvanAllowedHosts)");
        return;
    }
    // One connection at a time: the newest replaces the older.
    data.Close();
    if (data.Accept(requestId)) {
        m_Gateway.WriteEventLog("Accepted Zorvan connection from " + peer);
    } else {
        m_Gateway.WriteEventLog("Could not accept Zorvan connection from " + peer);
    }
    ShowZorvanConnectionState();
}

void AlarmLink::Winsock_Zorvan_Data_Close() {
    m_Gateway.Winsock_Zorvan_Data.Close();
    ShowZorvanConnectionState();
    m_Gateway.WriteEventLog("Zorvan connection was closed");
}

void AlarmLink::Winsock_Zorvan_Data_Error(int32_t /*number*/, const std::string& description) {
    m_Gateway.Winsock_Zorvan_Data.Close();
    ShowZorvanConnectionState();
    m_Gateway.WriteEventLog("Zorvan connection failed (" + description + ")");
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
