// Hand-written fakes of the gateway's interfaces: sockets, serial lines,
// vendor libraries and the alarm output. Each records what was done to it and
// lets the test inject events.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/alarmjournal.h"
#include "core/gateway.h"
#include "core/transport.h"
#include "core/vendorlibrary.h"

namespace tw::test {

class FakeSocket : public Socket {
  public:
    int16_t State() const override { return m_State; }
    int32_t LocalPort() const override { return m_LocalPort; }
    void SetLocalPort(int32_t port) override { m_LocalPort = port; }
    void SetLocalAddress(const std::string& address) override { m_LocalAddress = address; }
    std::string RemoteHost() const override { return m_RemoteHost; }
    void SetRemoteHost(const std::string& host) override { m_RemoteHost = host; }
    int32_t RemotePort() const override { return m_RemotePort; }
    void SetRemotePort(int32_t port) override { m_RemotePort = port; }
    std::string RemoteHostIP() const override { return m_RemoteHostIP; }

    bool Listen(std::string& error) override {
        ++m_ListenCalls;
        if (!m_ListenError.empty()) {
            error = m_ListenError;
            return false;
        }
        m_State = StateListening;
        return true;
    }
    bool Accept(int64_t requestId) override {
        m_AcceptedIds.push_back(requestId);
        if (m_State != StateClosed || m_RefuseAccept) {
            return false;
        }
        m_State = StateConnected;
        return true;
    }
    void Connect() override {
        ++m_ConnectCalls;
        m_State = 6;  // connecting
    }
    void Close() override {
        ++m_CloseCalls;
        m_State = StateClosed;
        m_Pending.clear();
    }
    void Reset() override { Close(); }
    std::string GetData() override { return std::exchange(m_Pending, {}); }
    bool SendData(const std::string& text) override {
        if (m_BeforeSend) {
            m_BeforeSend(text);
        }
        if (m_FailSend || m_BytesToWrite > 0) {
            return false;
        }
        m_Sent += text;
        m_SendCalls.push_back(text);
        return true;
    }
    size_t BytesToWrite() const override { return m_BytesToWrite; }
    std::optional<size_t> UnacknowledgedBytes() const override { return m_Unacknowledged; }
    bool PartnerReset() const override { return m_PartnerReset; }
    void SetEvents(SocketEvents* events) override { m_Events = events; }

    // Test side: make data arrive and deliver the event.
    void Arrive(const std::string& data) {
        m_Pending += data;
        if (m_Events != nullptr) {
            m_Events->OnDataArrival(static_cast<int64_t>(data.size()));
        }
    }

    int16_t m_State = StateClosed;
    int32_t m_LocalPort = 0;
    std::string m_LocalAddress;
    std::string m_RemoteHost;
    int32_t m_RemotePort = 0;
    std::string m_RemoteHostIP;
    std::string m_ListenError;  // non-empty: Listen fails with this text
    bool m_RefuseAccept = false;
    bool m_FailSend = false;
    size_t m_BytesToWrite = 0;    // non-zero: the backlog is full and SendData refuses
    bool m_PartnerReset = false;  // what PartnerReset says
    std::optional<size_t> m_Unacknowledged = 0;            // what UnacknowledgedBytes says
    std::function<void(const std::string&)> m_BeforeSend;  // called first by SendData
    std::string m_Pending;
    std::string m_Sent;  // everything sent, concatenated
    std::vector<std::string> m_SendCalls;
    std::vector<int64_t> m_AcceptedIds;
    int m_ListenCalls = 0;
    int m_ConnectCalls = 0;
    int m_CloseCalls = 0;
    SocketEvents* m_Events = nullptr;
};

class FakeSerial : public Serial {
  public:
    int16_t CommPort() const override { return m_CommPort; }
    void SetCommPort(int16_t port) override { m_CommPort = port; }
    bool SetSettings(const std::string& settings, std::string& error) override {
        if (settings.find_first_of("0123456789") != 0) {
            error = "Invalid line settings \"" + settings + "\"";
            return false;
        }
        m_Settings = settings;
        return true;
    }
    bool SetHandshaking(int16_t mode) override {
        m_Handshaking = mode;
        return mode >= 0 && mode <= 3;
    }
    bool PortOpen() const override { return m_Open; }
    bool SetPortOpen(bool open, std::string& error) override {
        ++m_OpenCalls;
        if (open && !m_OpenError.empty()) {
            error = m_OpenError;
            return false;
        }
        m_Open = open;
        return true;
    }
    int16_t CommEvent() const override { return m_CommEvent; }
    int32_t InBufferCount() const override { return static_cast<int32_t>(m_Pending.size()); }
    std::optional<std::string> Input() override {
        if (m_FailInput) {
            return std::nullopt;
        }
        return std::exchange(m_Pending, {});
    }
    bool Output(const std::string& bytes) override {
        if (m_RefuseOutput) {
            return false;
        }
        m_OutputCalls.push_back(bytes);
        return true;
    }
    void SetEvents(SerialEvents* events) override { m_Events = events; }

    // Test side: bytes arrive and the receive event is raised.
    void Arrive(const std::string& data) {
        m_Pending += data;
        m_CommEvent = CommEventReceive;
        if (m_Events != nullptr) {
            m_Events->OnComm();
        }
    }

    int16_t m_CommPort = 0;
    std::string m_Settings;
    int16_t m_Handshaking = 0;
    bool m_Open = false;
    std::string m_OpenError;  // non-empty: opening fails with this text
    int16_t m_CommEvent = 0;
    bool m_FailInput = false;
    bool m_RefuseOutput = false;  // the line takes nothing (flow control holds it)
    std::string m_Pending;
    std::vector<std::string> m_OutputCalls;
    int m_OpenCalls = 0;
    SerialEvents* m_Events = nullptr;
};

class FakeVendorLibrary : public VendorLibrary {
  public:
    bool Load(std::string& reason) override {
        ++m_LoadCalls;
        if (m_Fail) {
            reason = "not found";
            return false;
        }
        return true;
    }
    bool SetCommandEntry(const std::string& text) override {
        if (m_Fail || m_AcceptLimit == 0) {
            return false;
        }
        if (m_AcceptLimit > 0) {
            --m_AcceptLimit;
        }
        if (m_Record) {
            m_Commands.push_back(text);
        }
        return true;
    }
    std::optional<int32_t> GetRunningApps(int32_t mask) override {
        if (m_Record) {
            m_Questions.push_back(mask);
        }
        if (m_Fail) {
            return std::nullopt;
        }
        for (const auto& [answerMask, answer] : m_Answers) {
            if (answerMask == mask) {
                return answer;
            }
        }
        return 0;
    }

    bool m_Fail = false;  // every call raises an error
    int m_LoadCalls = 0;
    int m_AcceptLimit = -1;  // commands taken before every further one fails; -1: all
    bool m_Record = true;    // false: keeps no commands and questions (long runs)
    std::vector<std::pair<int32_t, int32_t>> m_Answers;  // mask -> answer (default 0)
    std::vector<std::string> m_Commands;
    std::vector<int32_t> m_Questions;
};

struct RecordedAlarm {
    int16_t m_State = 0;
    AlarmFields m_Fields;
};

// Records every alarm and hands it on to m_Through when set (the real alarm
// link, for tests that follow an alarm to the alarm server).
class RecordingAlarms : public AlarmOutput {
  public:
    void SendAlarm(int16_t AlarmState, const AlarmFields& fields) override {
        if (m_Record) {
            m_Alarms.push_back({AlarmState, fields});
        }
        if (m_Through != nullptr) {
            m_Through->SendAlarm(AlarmState, fields);
        }
    }
    std::vector<RecordedAlarm> m_Alarms;
    AlarmOutput* m_Through = nullptr;
    bool m_Record = true;  // false: keeps nothing (long runs)
};

// The alarm journal in memory: Restore gives m_Kept; writes fail while
// m_Error is set.
class FakeJournal : public AlarmJournal {
  public:
    JournalContents Restore() override { return m_Kept; }
    bool Add(const std::vector<JournaledAlarm>& alarms) override {
        ++m_AddCalls;
        for (const JournaledAlarm& alarm : alarms) {
            m_Alarms[alarm.Sequence] = alarm;
        }
        return m_Error.empty();
    }
    bool Remove(uint64_t sequence) override {
        m_Alarms.erase(sequence);
        return m_Error.empty();
    }
    bool HoldsRecords() const override { return !m_Kept.Alarms.empty(); }
    const std::string& Error() const override { return m_Error; }

    // The texts held, oldest first.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& [sequence, alarm] : m_Alarms) {
            texts.push_back(alarm.Text);
        }
        return texts;
    }

    JournalContents m_Kept;
    std::map<uint64_t, JournaledAlarm> m_Alarms;
    int m_AddCalls = 0;
    std::string m_Error;
};

// A fake for every transport slot of a gateway, wired with the given clock,
// settings, log folder, view and alarm output. Callers point the slots they
// watch at objects of their own before the Gateway is built.
struct FakeTransports {
    GatewayWiring WireFakes(const Clock& clock, SettingsSource& settings, LogFolder& logs,
                            View& view, AlarmOutput& alarms) {
        GatewayWiring wiring;
        for (int port = 0; port < kPortCount; ++port) {
            wiring.Winsock_Connect[port] = &m_Listeners[port];
            wiring.Winsock_Data[port] = &m_Data[port];
            wiring.MSComm[port] = &m_Serials[port];
        }
        wiring.Winsock_Zorvan_Connect = &m_ZorvanListener;
        wiring.Winsock_Zorvan_Data = &m_ZorvanData;
        wiring.Zorvan2 = &m_Zorvan2;
        wiring.Zorvan3 = &m_Zorvan3;
        wiring.m_Clock = &clock;
        wiring.m_Settings = &settings;
        wiring.m_LogFolder = &logs;
        wiring.m_View = &view;
        wiring.m_Alarms = &alarms;
        return wiring;
    }

    std::array<FakeSocket, kPortCount> m_Listeners;
    std::array<FakeSocket, kPortCount> m_Data;
    std::array<FakeSerial, kPortCount> m_Serials;
    FakeSocket m_ZorvanListener;
    FakeSocket m_ZorvanData;
    FakeVendorLibrary m_Zorvan2;
    FakeVendorLibrary m_Zorvan3;
};

}  // namespace tw::test
