#include "espa/linklayer.h"

#include <algorithm>
#include <string_view>

#include "base/counters.h"
#include "base/ini.h"
#include "espa/callrecord.h"
#include "espa/conversion.h"
#include "espa/trace.h"
#include "espa/transmit.h"
#include "format/template.h"

namespace tw {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kSelect = "1\x05"sv;  // "1" ENQ: the partner selects us
constexpr std::string_view kPoll = "2\x05"sv;    // "2" ENQ: the partner polls us
constexpr std::string_view kAck = "\x06"sv;
constexpr std::string_view kNak = "\x15"sv;
constexpr std::string_view kEot = "\x04"sv;
// Every character that can begin one of the five elements.
constexpr std::string_view kElementStarts = "12\x06\x04\x01"sv;

// One port's link layer while a chunk is processed. Consumed elements are
// skipped by advancing m_Head and removed from ReceiveBuffer once at the end,
// so a chunk holding many blocks costs no repeated moves of its tail.
struct Link {
    Gateway& m_Gateway;
    int16_t m_Port;
    PortRuntime& m_Runtime;
    const PortSettings& m_Settings;
    size_t m_Head = 0;

    // The unconsumed input. Taken afresh for every check, never kept across a
    // reply or an alarm.
    std::string_view Unconsumed() const {
        const std::string& buffer = m_Runtime.ReceiveBuffer;
        return std::string_view(buffer).substr(std::min(m_Head, buffer.size()));
    }
    bool HeadIs(std::string_view element) const { return Unconsumed().starts_with(element); }
    void Reply(std::string_view text) const { SendESPA(m_Gateway, m_Port, std::string(text)); }
    void Log(const std::string& message) const { m_Gateway.WriteEventLog(message); }
    void Alarm(int16_t state, const AlarmFields& fields) const {
        m_Gateway.m_Alarms.SendAlarm(state, fields);
    }
    std::string Number() const { return std::to_string(m_Port); }
};

// Length of the complete block SOH ... ETX + check character at the head of
// input, or 0 while the head is no block or the block has not fully arrived.
size_t CompleteBlockLength(std::string_view input) {
    if (input.empty() || input.front() != espa::SOH) {
        return 0;
    }
    const size_t etx = input.find(espa::ETX, 1);
    if (etx == std::string_view::npos || etx + 1 >= input.size()) {
        return 0;
    }
    return etx + 2;
}

// A head that may still become an element once more input arrives.
bool IsIncompleteElement(std::string_view input) {
    if (input.size() == 1 && (input.front() == '1' || input.front() == '2')) {
        return true;
    }
    return !input.empty() && input.front() == espa::SOH && CompleteBlockLength(input) == 0;
}

void CountReceived(Gateway& gateway, int16_t port, size_t length) {
    gateway.m_Runtime[port].Totals.RxBytes += length;
    int32_t& count = gateway.m_Runtime[port].RxBytes;
    count = AddByteCount(count, static_cast<int64_t>(length));
    gateway.m_View.SetPortColumn(port, View::ColumnRxBytes, std::to_string(count));
}

void QueueStatusMessage(Link& link, std::string_view data, std::string_view status) {
    std::deque<cESPACall>& queue = link.m_Runtime.SendQueue;
    if (queue.size() >= kSendQueueLimit) {
        queue.pop_front();
        if (!link.m_Runtime.SendQueueOverflowed) {
            link.m_Runtime.SendQueueOverflowed = true;
            link.Log("ESPA status queue (" + link.Number() +
                     ") full, oldest status messages dropped");
        }
    }
    queue.push_back(BuildStatusMessage(data, status));
}

void QueueStatusMessages(Link& link, std::string_view data) {
    if (link.m_Settings.SendInQueue) {
        QueueStatusMessage(link, data, "2");
    }
    if (link.m_Settings.SendPaged) {
        QueueStatusMessage(link, data, "3");
    }
    if (link.m_Settings.SendTerminated) {
        QueueStatusMessage(link, data, "5");
    }
}

RecordTable ReadRecords(const Link& link, std::string_view data) {
    RecordTable records = GetRecords(data);
    if (link.m_Settings.Swedish7BitASCII2ISOLatin1) {
        records[2] = Swedish7BitToLatin1(std::move(records[2]));
    }
    if (link.m_Settings.DOSASCII2ISOLatin1) {
        records[2] = DOSToLatin1(std::move(records[2]));
    }
    return records;
}

// The six fields from the templates T0..T5 of section "Format", read anew
// for every call so that edits take effect at once.
AlarmFields FieldsFromTemplates(const Link& link, const RecordTable& records) {
    SettingsSource& ini = link.m_Gateway.m_Settings;
    const TemplateContext context{records,
                                  link.m_Settings.Description,
                                  ReadIniValue(ini, "Format", "DateFormat", "Short Date"),
                                  ReadIniValue(ini, "Format", "TimeFormat", "Long Time"),
                                  link.m_Gateway.Now(),
                                  ini};
    static constexpr const char* kTemplateKeys[] = {"T0", "T1", "T2", "T3", "T4", "T5"};
    AlarmFields fields;
    for (size_t k = 0; k < fields.size(); ++k) {
        std::string text =
            ExpandFormatTemplate(ReadIniValue(ini, "Format", kTemplateKeys[k], ""), context);
        std::erase(text, '|');  // "|" separates the fields of the alarm message
        fields[k] = NormalizeText(text);
    }
    return fields;
}

// Port description, category and display text; with the split setting on, a
// display text "A / B" gives T1 "A" and T4 "B".
AlarmFields FieldsFromFixedLayout(const Link& link, const std::string& display) {
    const GeneralSettings& general = link.m_Gateway.m_General;
    std::string t1;
    std::string t4 = TrimBlanks(display);
    const size_t slash = display.find('/');
    if (general.SplitT1andT4fromT4UsingSlash && slash != std::string::npos) {
        t1 = TrimBlanks(display.substr(0, slash));
        t4 = TrimBlanks(display.substr(slash + 1));
    }
    return {link.m_Settings.Description, t1, general.ESPACategory, "", t4, ""};
}

void AcceptCall(Link& link, std::string_view data) {
    QueueStatusMessages(link, data);
    const RecordTable records = ReadRecords(link, data);
    link.Log("Got ESPA message: " + records[2]);
    link.Alarm(AlarmStateRaised, link.m_Gateway.m_General.UseFormatSection
                                     ? FieldsFromTemplates(link, records)
                                     : FieldsFromFixedLayout(link, records[2]));
}

// block: SOH ... ETX + check character, a copy taken from the buffer.
// Answered only after the call's alarm has been handed on.
void HandleBlock(Link& link, const std::string& block) {
    const std::string_view whole(block);
    const std::string_view inner = whole.substr(1, whole.size() - 3);
    const size_t stx = inner.find(espa::STX);
    PortTotals& totals = link.m_Runtime.Totals;
    if (BlockCheck(whole.substr(1)).front() != '\0' || stx == std::string_view::npos) {
        ++totals.Naks;
        link.Reply(kNak);
        return;
    }
    ++totals.Calls;
    totals.LastCallUnixSeconds = link.m_Gateway.Now().UnixSeconds;
    AcceptCall(link, inner.substr(stx + 1));
    link.Reply(kAck);
}

// The partner's ACK fetches the next queued status block.
void FetchStatusBlock(Link& link) {
    std::deque<cESPACall>& queue = link.m_Runtime.SendQueue;
    if (queue.empty()) {
        link.Reply(kEot);
        return;
    }
    const std::string block = std::move(queue.front().m_SendBuffer);
    queue.pop_front();
    link.m_Runtime.SendQueueOverflowed = false;
    link.Reply(block);
}

// The five checks, once each and in this order, each on the head left by the
// ones before. True when anything was consumed.
bool RunPass(Link& link) {
    PortRuntime& runtime = link.m_Runtime;
    const size_t start = link.m_Head;
    if (link.HeadIs(kSelect)) {
        runtime.Selected = true;
        link.m_Head += kSelect.size();
    }
    if (link.HeadIs(kPoll)) {
        if (runtime.Selected) {
            link.Reply(kAck);
        } else {
            link.Reply(runtime.SendQueue.empty() ? kEot : kSelect);
        }
        link.m_Head += kPoll.size();
    }
    if (link.HeadIs(kAck)) {
        FetchStatusBlock(link);
        link.m_Head += 1;
    }
    if (link.HeadIs(kEot)) {
        if (runtime.Selected) {
            link.Reply(kEot);
            runtime.Selected = false;
        }
        link.m_Head += 1;
    }
    const std::string_view input = link.Unconsumed();
    if (const size_t length = CompleteBlockLength(input); length > 0) {
        const std::string block(input.substr(0, length));
        HandleBlock(link, block);
        link.m_Head += length;
    }
    return link.m_Head != start;
}

// After a pass that consumed anything: the port is alive again.
void Bookkeeping(Link& link) {
    PortRuntime& runtime = link.m_Runtime;
    const PortSettings& settings = link.m_Settings;
    if (PollFailureRaised(settings, runtime)) {
        link.Alarm(AlarmStateRestored, {settings.Description, "", settings.PollFailedCategory, "",
                                        "ESPA Connection '" + settings.Description + "' (" +
                                            link.Number() + ") has been restored",
                                        ""});
    }
    runtime.PollFailElapsed = 0;
    runtime.PollFailRemindElapsed = 0;
    runtime.ESPAIdleTime = 0;
    runtime.DiscardingInput = false;
    if (runtime.CommFailed) {
        runtime.CommFailed = false;
        link.Log("ESPA communication (" + link.Number() + ") restored");
    }
}

// An unrecognised head is dropped up to the next character that can begin an
// element: without an ESPA timeout nothing else would ever clear it, and with
// ResyncOnUnrecognisedInput the port need not stay deaf until the timeout.
// True when anything was dropped.
bool DiscardUnrecognisedHead(Link& link) {
    const std::string_view input = link.Unconsumed();
    if (input.empty() || IsIncompleteElement(input)) {
        return false;
    }
    const size_t next = input.find_first_of(kElementStarts, 1);
    link.m_Head += next == std::string_view::npos ? input.size() : next;
    if (!link.m_Runtime.DiscardingInput) {
        link.m_Runtime.DiscardingInput = true;
        link.Log("ESPA communication (" + link.Number() +
                 ") out of step, unrecognised input discarded");
    }
    return true;
}

}  // namespace

void HandleReceivedESPA(Gateway& gateway, int16_t port, const std::string& chunk) {
    PortRuntime& runtime = gateway.m_Runtime[port];
    runtime.ReceiveBuffer += chunk;
    WriteCommTrace(gateway, port, chunk, TraceReceive);
    CountReceived(gateway, port, chunk.size());

    Link link{gateway, port, runtime, gateway.m_Ports[port]};
    const bool resync =
        gateway.m_General.ESPATimeout <= 0 || link.m_Settings.ResyncOnUnrecognisedInput;
    for (;;) {
        if (RunPass(link)) {
            Bookkeeping(link);
        } else if (!resync || !DiscardUnrecognisedHead(link)) {
            break;
        }
    }
    runtime.ReceiveBuffer.erase(0, std::min(link.m_Head, runtime.ReceiveBuffer.size()));
    if (runtime.ReceiveBuffer.size() > kReceiveBufferLimit) {
        FailESPACommunication(gateway, port);
    }
}

void FailESPACommunication(Gateway& gateway, int16_t port) {
    PortRuntime& runtime = gateway.m_Runtime[port];
    if (!runtime.CommFailed) {
        gateway.WriteEventLog("ESPA communication (" + std::to_string(port) + ") failed");
    }
    runtime.CommFailed = true;
    std::string().swap(runtime.ReceiveBuffer);  // hand the memory back, too
    runtime.ESPAIdleTime = 0;
}

}  // namespace tw
