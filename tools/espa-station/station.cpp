#include "station.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "base/systemtext.h"
#include "espawire.h"
#include "latency.h"
#include "textout.h"

namespace tw::tools {

const char* const StationUsage =
    R"(Usage: espa-station LINK [CALL]... [OPTIONS]
Plays ESPA 4.4.4 station 1 (the control station) against a gateway port.

LINK (one of):
  --connect HOST:PORT      connect to a gateway's TCP server port (TCPS)
  --listen [HOST:]PORT     wait for a gateway's TCP client port (TCPC) to connect
  --serial DEVICE          use a serial line, with
  --settings B,P,D,S       its settings (default 9600,N,8,1)

CALL (records of the current call; without any, the station only polls):
  --address TEXT           record 1, call address
  --text TEXT              record 2, display message
  --beep TEXT              record 3, beep coding
  --type TEXT              record 4, call type
  --priority TEXT          record 6, priority
  --record N=TEXT          any record 0..15 by number
  --next-call              the following records make up another call

OPTIONS:
  --bad-bcc                send every block with a wrong check character
  --poll / --no-poll       fetch queued call-status blocks after the calls
                           (default: poll, except with --repeat)
  --repeat N               send the calls N times in all, as fast as the
                           partner answers, and print calls/s and latency
  --one-selection          select once ("1" ENQ "2" ENQ) for all blocks
  --echo-partner           the partner answers everything with ACK (the
                           ack-echo baseline): accept ACK in place of EOT
  --timeout-ms MS          longest wait for any reply (default 3000)
  --accept-timeout-ms MS   longest wait for the gateway with --listen (default 60000)
  --json                   one JSON object per line instead of text
  --ack-times FILE         with --repeat: afterwards write the wall-clock time
                           of each block's ACK or NAK to FILE, in microseconds
                           since the epoch, one line per block
  --help                   this text

Exit codes: 0 all blocks ACKed; 1 bad command line; 2 connection refused,
lost or device failed; 3 partner silent (time-out); 4 a block was answered
NAK; 5 unexpected reply or a status block with a bad check character.
)";

namespace {

struct ArgumentReader {
    const std::vector<std::string>& m_Arguments;
    std::size_t m_Next = 0;
    std::string m_Error;

    bool AtEnd() const { return m_Next >= m_Arguments.size(); }
    const std::string& Take() { return m_Arguments[m_Next++]; }
    std::optional<std::string> Value(const std::string& option) {
        if (AtEnd()) {
            m_Error = option + " needs a value";
            return std::nullopt;
        }
        return Take();
    }
};

std::string ArgumentText(const std::string& argument) {
    return SystemUsesUtf8() ? Utf8ToLatin1(argument) : argument;
}

CallRecords& CurrentCall(StationOptions& options) {
    if (options.m_Calls.empty()) {
        options.m_Calls.emplace_back();
    }
    return options.m_Calls.back();
}

int RecordOfOption(std::string_view option) {
    if (option == "--address") {
        return 1;
    }
    if (option == "--text") {
        return 2;
    }
    if (option == "--beep") {
        return 3;
    }
    if (option == "--type") {
        return 4;
    }
    if (option == "--priority") {
        return 6;
    }
    return -1;
}

// Reads one option (and its value); false with reader.m_Error set when wrong.
bool ReadOption(ArgumentReader& reader, ParsedArguments& parsed) {
    StationOptions& options = parsed.m_Options;
    std::string option = reader.Take();
    auto number = [&](long min, long max) -> std::optional<long> {
        std::optional<std::string> value = reader.Value(option);
        if (!value) {
            return std::nullopt;
        }
        std::optional<long> result = ParseWholeNumber(*value, min, max);
        if (!result) {
            reader.m_Error = option + " needs a whole number from " + std::to_string(min) + " to " +
                             std::to_string(max) + ", not \"" + *value + "\"";
        }
        return result;
    };
    if (int record = RecordOfOption(option); record >= 0) {
        std::optional<std::string> value = reader.Value(option);
        if (value) {
            CurrentCall(options)[record] = ArgumentText(*value);
        }
        return value.has_value();
    }
    if (option == "--record") {
        std::optional<std::string> value = reader.Value(option);
        if (!value) {
            return false;
        }
        std::size_t equals = value->find('=');
        std::optional<long> id = equals == std::string::npos
                                     ? std::nullopt
                                     : ParseWholeNumber(value->substr(0, equals), 0, 15);
        if (!id) {
            reader.m_Error = "--record needs N=TEXT with N from 0 to 15, not \"" + *value + "\"";
            return false;
        }
        CurrentCall(options)[static_cast<int>(*id)] = ArgumentText(value->substr(equals + 1));
        return true;
    }
    if (option == "--next-call") {
        if (options.m_Calls.empty() || options.m_Calls.back().empty()) {
            reader.m_Error = "--next-call must follow the records of a call";
            return false;
        }
        options.m_Calls.emplace_back();
        return true;
    }
    if (option == "--connect" || option == "--listen") {
        std::optional<std::string> value = reader.Value(option);
        if (!value) {
            return false;
        }
        bool connect = option == "--connect";
        std::optional<Endpoint> endpoint = ParseEndpoint(*value, connect ? "127.0.0.1" : "0.0.0.0");
        if (!endpoint || (connect && endpoint->m_Port == 0)) {
            reader.m_Error = option + " needs " + (connect ? "HOST:PORT" : "[HOST:]PORT") +
                             ", not \"" + *value + "\"";
            return false;
        }
        options.m_Mode = connect ? LinkMode::Connect : LinkMode::Listen;
        options.m_Endpoint = *endpoint;
        return true;
    }
    if (option == "--serial") {
        std::optional<std::string> value = reader.Value(option);
        options.m_Mode = LinkMode::Serial;
        options.m_Device = value.value_or("");
        return value.has_value();
    }
    if (option == "--settings") {
        std::optional<std::string> value = reader.Value(option);
        std::optional<SerialSettings> settings = value ? ParseSerialSettings(*value) : std::nullopt;
        if (value && !settings) {
            reader.m_Error = "--settings needs BAUD,PARITY,DATABITS,STOPBITS such as 9600,N,8,1";
        }
        options.m_Serial = settings.value_or(options.m_Serial);
        return settings.has_value();
    }
    if (option == "--ack-times") {
        std::optional<std::string> value = reader.Value(option);
        options.m_AckTimesFile = value.value_or("");
        return value.has_value();
    }
    if (option == "--repeat") {
        std::optional<long> value = number(1, 1000000000);
        options.m_Repeat = value.value_or(0);
        return value.has_value();
    }
    if (option == "--timeout-ms" || option == "--accept-timeout-ms") {
        std::optional<long> value = number(1, 3600000);
        int& target = option == "--timeout-ms" ? options.m_TimeoutMs : options.m_AcceptTimeoutMs;
        target = static_cast<int>(value.value_or(target));
        return value.has_value();
    }
    const std::pair<const char*, bool StationOptions::*> flags[] = {
        {"--bad-bcc", &StationOptions::m_BadCheck},
        {"--poll", &StationOptions::m_PollRequested},
        {"--no-poll", &StationOptions::m_NoPoll},
        {"--one-selection", &StationOptions::m_OneSelection},
        {"--echo-partner", &StationOptions::m_EchoPartner},
        {"--json", &StationOptions::m_Json},
    };
    for (const auto& [name, member] : flags) {
        if (option == name) {
            options.*member = true;
            return true;
        }
    }
    if (option == "--help" || option == "-h") {
        parsed.m_Help = true;
        return true;
    }
    reader.m_Error = "unknown option \"" + option + "\"";
    return false;
}

std::string CheckCombination(const StationOptions& options) {
    if (options.m_Mode == LinkMode::None) {
        return "name the link: --connect, --listen or --serial";
    }
    if (!options.m_Calls.empty() && options.m_Calls.back().empty()) {
        return "--next-call must be followed by the records of a call";
    }
    if (options.m_PollRequested && options.m_NoPoll) {
        return "--poll and --no-poll contradict each other";
    }
    if (options.m_Repeat > 0 && options.m_Calls.empty()) {
        return "--repeat needs a call to repeat (--address, --text or --record)";
    }
    if (!options.m_AckTimesFile.empty() && options.m_Repeat == 0) {
        return "--ack-times needs --repeat";
    }
    return {};
}

}  // namespace

ParsedArguments ParseStationArguments(const std::vector<std::string>& arguments) {
    ParsedArguments parsed;
    ArgumentReader reader{arguments, 0, {}};
    while (!reader.AtEnd()) {
        if (!ReadOption(reader, parsed)) {
            parsed.m_Error = reader.m_Error;
            return parsed;
        }
        if (parsed.m_Help) {
            return parsed;
        }
    }
    parsed.m_Error = CheckCombination(parsed.m_Options);
    return parsed;
}

namespace {

// Prints each event as a text line or as one JSON object.
class Output {
  public:
    explicit Output(bool json) : m_Json(json), m_Utf8(SystemUsesUtf8()) {}

    void Emit(const std::string& text, const JsonLine& json) const {
        std::string line = m_Json ? json.Text() : text;
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    void Error(int code, const std::string& message) const {
        std::fprintf(stderr, "espa-station: %s\n", message.c_str());
        if (m_Json) {
            Emit("", JsonLine().Add("event", "error").Add("code", code).Add("message", message));
        }
    }
    std::string Terminal(std::string_view latin1) const { return ForTerminal(latin1, m_Utf8); }

  private:
    bool m_Json;
    bool m_Utf8;
};

enum class LinkFailure { None, TimedOut, Closed, Io };

// The open connection or serial line: writes, and reads elements with a time-out.
class Link {
  public:
    Link(Fd fd, int timeoutMs) : m_Fd(std::move(fd)), m_TimeoutMs(timeoutMs) {}

    bool Send(std::string_view bytes) {
        if (WriteAll(m_Fd.Get(), bytes)) {
            return true;
        }
        m_Failure = LinkFailure::Io;
        m_Error = ErrorText(errno);
        return false;
    }

    // The next element from the partner, or nullopt with Failure() set.
    std::optional<Element> Receive() {
        Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_TimeoutMs);
        while (true) {
            if (std::optional<Element> element = TakeElement(m_Buffer)) {
                return element;
            }
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            WaitResult wait = WaitReadable(m_Fd.Get(), std::max<int>(0, left.count()));
            if (wait == WaitResult::TimedOut) {
                m_Failure = LinkFailure::TimedOut;
                return std::nullopt;
            }
            if (wait == WaitResult::Failed || !ReadSome()) {
                return std::nullopt;
            }
        }
    }

    LinkFailure Failure() const { return m_Failure; }
    const std::string& Error() const { return m_Error; }
    int TimeoutMs() const { return m_TimeoutMs; }

  private:
    bool ReadSome() {
        char chunk[4096];
        ssize_t count = ::read(m_Fd.Get(), chunk, sizeof chunk);
        if (count > 0) {
            m_Buffer.append(chunk, static_cast<std::size_t>(count));
            return true;
        }
        if (count < 0 && errno == EINTR) {
            return true;
        }
        m_Failure = count == 0 ? LinkFailure::Closed : LinkFailure::Io;
        m_Error = count == 0 ? "" : ErrorText(errno);
        return false;
    }

    Fd m_Fd;
    int m_TimeoutMs;
    std::string m_Buffer;
    LinkFailure m_Failure = LinkFailure::None;
    std::string m_Error;
};

std::string Millis(double micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", micros / 1000.0);
    return text;
}

std::string ReplyName(const Element& element) {
    switch (element.m_Kind) {
        case ElementKind::Ack:
            return "ACK";
        case ElementKind::Nak:
            return "NAK";
        case ElementKind::Eot:
            return "EOT";
        case ElementKind::Enq:
            return std::string(1, element.m_Address) + " ENQ";
        case ElementKind::Block:
            return "block";
        case ElementKind::Junk:
            break;
    }
    return DescribeBytes(element.m_Raw);
}

class Station {
  public:
    Station(const StationOptions& options, Link& link, const Output& out)
        : m_Options(options), m_Link(link), m_Out(out) {}

    int Run() {
        bool poll = m_Options.m_Calls.empty() || m_Options.m_PollRequested ||
                    (m_Options.m_Repeat == 0 && !m_Options.m_NoPoll);
        bool ok = m_Options.m_Repeat > 0 ? RunLoad() : RunCalls();
        if (ok && poll) {
            ok = Poll();
        }
        if (ok && m_Options.m_Repeat == 0) {
            Summary();
        }
        if (!ok) {
            return m_Exit;
        }
        if (m_BadStatusBlocks > 0) {
            return ExitProtocol;
        }
        return m_Naks > 0 ? ExitNak : ExitOk;
    }

  private:
    bool Fail(int code, const std::string& message) {
        m_Exit = code;
        m_Out.Error(code, message);
        return false;
    }

    bool Send(std::string_view bytes, const std::string& what) {
        return m_Link.Send(bytes) ||
               Fail(ExitLink, "sending " + what + " failed: " + m_Link.Error());
    }

    std::optional<Element> Await(const std::string& what) {
        std::optional<Element> element = m_Link.Receive();
        if (element) {
            return element;
        }
        switch (m_Link.Failure()) {
            case LinkFailure::TimedOut:
                Fail(ExitTimeout, "no reply within " + std::to_string(m_Link.TimeoutMs()) +
                                      " ms while waiting for " + what);
                break;
            case LinkFailure::Closed:
                Fail(ExitLink, "the partner closed the connection while waiting for " + what);
                break;
            default:
                Fail(ExitLink, "reading failed while waiting for " + what + ": " + m_Link.Error());
                break;
        }
        return std::nullopt;
    }

    bool Unexpected(const std::string& what, const Element& element) {
        return Fail(ExitProtocol, "expected " + what + ", got " + DescribeBytes(element.m_Raw));
    }

    bool Select() {
        std::string select = {'1', ENQ, '2', ENQ};
        if (!Send(select, "the selection")) {
            return false;
        }
        std::optional<Element> reply = Await("ACK to the selection");
        if (!reply) {
            return false;
        }
        if (reply->m_Kind != ElementKind::Ack) {
            return Unexpected("ACK to the selection (1 ENQ 2 ENQ)", *reply);
        }
        if (m_Options.m_Repeat == 0) {
            m_Out.Emit("selected: ACK", JsonLine().Add("event", "select").Add("reply", "ACK"));
        }
        return true;
    }

    bool End() {
        if (!Send(std::string(1, EOT), "EOT")) {
            return false;
        }
        std::optional<Element> reply = Await("EOT in answer to EOT");
        if (!reply) {
            return false;
        }
        bool expected = reply->m_Kind == ElementKind::Eot ||
                        (m_Options.m_EchoPartner && reply->m_Kind == ElementKind::Ack);
        if (!expected) {
            return Unexpected("EOT in answer to EOT", *reply);
        }
        if (m_Options.m_Repeat == 0) {
            std::string name = ReplyName(*reply);
            m_Out.Emit("end: " + name, JsonLine().Add("event", "end").Add("reply", name));
        }
        return true;
    }

    std::string RecordsText(const std::vector<Record>& records) const {
        std::string text;
        for (const Record& record : records) {
            text += text.empty() ? "" : " ";
            text += record.m_Id + "=" + m_Out.Terminal(record.m_Text);
        }
        return text;
    }

    static std::string RecordsJson(const std::vector<Record>& records) {
        std::string json = "[";
        for (const Record& record : records) {
            json += json.size() > 1 ? "," : "";
            json += JsonLine().Add("id", record.m_Id).Add("text", record.m_Text).Text();
        }
        return json + "]";
    }

    // Sends call number n; the reply is ACK or NAK.
    bool SendCall(long n, const CallRecords& call, bool report) {
        std::vector<Record> records;
        for (const auto& [id, text] : call) {
            records.push_back({std::to_string(id), text});
        }
        std::string block = BuildBlock('1', BuildData(records), m_Options.m_BadCheck);
        if (!Send(block, "block " + std::to_string(n))) {
            return false;
        }
        Clock::time_point sent = Clock::now();
        std::optional<Element> reply = Await("ACK or NAK to block " + std::to_string(n));
        if (!reply) {
            return false;
        }
        Clock::time_point answered = Clock::now();
        if (!m_Options.m_AckTimesFile.empty()) {
            m_AckTimes.push_back(EpochMicros());
        }
        if (reply->m_Kind != ElementKind::Ack && reply->m_Kind != ElementKind::Nak) {
            return Unexpected("ACK or NAK to block " + std::to_string(n), *reply);
        }
        m_Latency.Add(answered - sent);
        bool ack = reply->m_Kind == ElementKind::Ack;
        ++(ack ? m_Acks : m_Naks);
        if (report || !ack) {
            double micros = MicrosBetween(sent, answered);
            std::string name = ReplyName(*reply);
            m_Out.Emit("block " + std::to_string(n) + ": " + name + " after " + Millis(micros) +
                           (m_Options.m_BadCheck ? " (sent with a bad check character)" : "") +
                           "  [" + RecordsText(records) + "]",
                       JsonLine()
                           .Add("event", "block")
                           .Add("n", static_cast<std::int64_t>(n))
                           .Add("reply", name)
                           .Add("latency_us", micros)
                           .Add("bad_check", m_Options.m_BadCheck)
                           .AddRaw("records", RecordsJson(records)));
        }
        return true;
    }

    bool RunCalls() {
        if (m_Options.m_OneSelection && !Select()) {
            return false;
        }
        long n = 0;
        for (const CallRecords& call : m_Options.m_Calls) {
            ++n;
            bool ok = (m_Options.m_OneSelection || Select()) && SendCall(n, call, true) &&
                      (m_Options.m_OneSelection || End());
            if (!ok) {
                return false;
            }
        }
        return !m_Options.m_OneSelection || End();
    }

    bool RunLoad() {
        Clock::time_point start = Clock::now();
        if (m_Options.m_OneSelection && !Select()) {
            return false;
        }
        const auto& calls = m_Options.m_Calls;
        for (long n = 1; n <= m_Options.m_Repeat; ++n) {
            const CallRecords& call = calls[static_cast<std::size_t>(n - 1) % calls.size()];
            bool ok = (m_Options.m_OneSelection || Select()) && SendCall(n, call, false) &&
                      (m_Options.m_OneSelection || End());
            if (!ok) {
                return false;
            }
        }
        if (m_Options.m_OneSelection && !End()) {
            return false;
        }
        LoadSummary(MicrosBetween(start, Clock::now()) / 1e6);
        return m_Options.m_AckTimesFile.empty() || WriteAckTimes();
    }

    // Kept in memory during the run so that writing them costs it nothing.
    bool WriteAckTimes() {
        std::FILE* file = std::fopen(m_Options.m_AckTimesFile.c_str(), "w");
        if (file == nullptr) {
            return Fail(ExitUsage,
                        "cannot write " + m_Options.m_AckTimesFile + ": " + std::strerror(errno));
        }
        for (std::int64_t micros : m_AckTimes) {
            std::fprintf(file, "%lld\n", static_cast<long long>(micros));
        }
        if (std::fclose(file) != 0) {
            return Fail(ExitUsage, "cannot write " + m_Options.m_AckTimesFile);
        }
        return true;
    }

    void LoadSummary(double seconds) {
        double rate = seconds > 0 ? static_cast<double>(m_Options.m_Repeat) / seconds : 0.0;
        double p50 = m_Latency.PercentileMicros(50);
        double p99 = m_Latency.PercentileMicros(99);
        double max = m_Latency.MaxMicros();
        char text[256];
        std::snprintf(text, sizeof text,
                      "%ld calls in %.3f s: %.0f calls/s, %ld ACK, %ld NAK; block to ACK p50 %s, "
                      "p99 %s, max %s",
                      m_Options.m_Repeat, seconds, rate, m_Acks, m_Naks, Millis(p50).c_str(),
                      Millis(p99).c_str(), Millis(max).c_str());
        m_Out.Emit(text, JsonLine()
                             .Add("event", "load")
                             .Add("calls", static_cast<std::int64_t>(m_Options.m_Repeat))
                             .Add("seconds", seconds)
                             .Add("calls_per_s", rate)
                             .Add("ack", static_cast<std::int64_t>(m_Acks))
                             .Add("nak", static_cast<std::int64_t>(m_Naks))
                             .Add("p50_us", p50)
                             .Add("p99_us", p99)
                             .Add("max_us", max)
                             .Add("one_selection", m_Options.m_OneSelection));
    }

    void ReportStatusBlock(const Element& block) {
        std::vector<Record> records = ParseRecords(block.m_Data);
        std::optional<std::string> status = LastRecord(records, "7");
        std::string address = FindRecord(records, "1").value_or("");
        std::string display = FindRecord(records, "2").value_or("");
        if (!block.m_CheckOk) {
            ++m_BadStatusBlocks;
        }
        std::string statusText = status ? std::string(CallStatusName(*status)) : "no record 7";
        std::string text = "status " + (status ? m_Out.Terminal(*status) : "?") + " (" +
                           statusText + "): call " + m_Out.Terminal(address) + " \"" +
                           m_Out.Terminal(display) + "\"";
        if (!block.m_CheckOk) {
            text += " [bad check character: " + DescribeBytes(block.m_Raw) + "]";
        }
        m_Out.Emit(text, JsonLine()
                             .Add("event", "status")
                             .Add("status", status.value_or(""))
                             .Add("status_text", statusText)
                             .Add("call_address", address)
                             .Add("text", display)
                             .Add("check_ok", block.m_CheckOk)
                             .Add("header", block.m_Header)
                             .AddRaw("records", RecordsJson(records)));
    }

    // "2" ENQ: EOT when nothing is queued; else "1" ENQ, and each ACK fetches
    // one status block until EOT. A block with a bad check character is
    // reported and still answered ACK: a NAK would stall the gateway's port.
    bool Poll() {
        if (!Send(std::string{'2', ENQ}, "the poll")) {
            return false;
        }
        std::optional<Element> reply = Await("the answer to the poll");
        if (!reply) {
            return false;
        }
        if (reply->m_Kind == ElementKind::Eot) {
            m_Out.Emit("poll: nothing queued (EOT)",
                       JsonLine().Add("event", "poll").Add("reply", "EOT").Add("status_blocks", 0));
            return true;
        }
        if (reply->m_Kind != ElementKind::Enq || reply->m_Address != '1') {
            return Unexpected("EOT or 1 ENQ in answer to the poll", *reply);
        }
        long blocks = 0;
        while (true) {
            if (!Send(std::string(1, ACK), "ACK")) {
                return false;
            }
            reply = Await("a status block or EOT");
            if (!reply) {
                return false;
            }
            if (reply->m_Kind == ElementKind::Eot) {
                break;
            }
            if (reply->m_Kind != ElementKind::Block) {
                return Unexpected("a status block or EOT", *reply);
            }
            ++blocks;
            ReportStatusBlock(*reply);
        }
        m_StatusBlocks += blocks;
        m_Out.Emit("poll: " + std::to_string(blocks) + " status block" + (blocks == 1 ? "" : "s") +
                       ", then EOT",
                   JsonLine()
                       .Add("event", "poll")
                       .Add("reply", "1 ENQ")
                       .Add("status_blocks", static_cast<std::int64_t>(blocks)));
        return true;
    }

    void Summary() {
        long sent = m_Acks + m_Naks;
        m_Out.Emit("done: " + std::to_string(sent) + " block" + (sent == 1 ? "" : "s") + " sent, " +
                       std::to_string(m_Acks) + " ACK, " + std::to_string(m_Naks) + " NAK, " +
                       std::to_string(m_StatusBlocks) + " status block" +
                       (m_StatusBlocks == 1 ? "" : "s") + " received",
                   JsonLine()
                       .Add("event", "summary")
                       .Add("blocks", static_cast<std::int64_t>(sent))
                       .Add("ack", static_cast<std::int64_t>(m_Acks))
                       .Add("nak", static_cast<std::int64_t>(m_Naks))
                       .Add("status_blocks", static_cast<std::int64_t>(m_StatusBlocks)));
    }

    const StationOptions& m_Options;
    Link& m_Link;
    const Output& m_Out;
    LatencyStats m_Latency;
    std::vector<std::int64_t> m_AckTimes;  // --ack-times: epoch microseconds per reply
    long m_Acks = 0;
    long m_Naks = 0;
    long m_StatusBlocks = 0;
    long m_BadStatusBlocks = 0;
    int m_Exit = ExitOk;
};

Opened OpenLink(const StationOptions& options, const Output& out) {
    switch (options.m_Mode) {
        case LinkMode::Connect: {
            Opened opened = ConnectTcp(options.m_Endpoint, options.m_TimeoutMs);
            if (opened.m_Fd.IsOpen()) {
                std::string peer = ToText(options.m_Endpoint);
                out.Emit("connected to " + peer,
                         JsonLine().Add("event", "connected").Add("peer", peer));
            }
            return opened;
        }
        case LinkMode::Listen: {
            Opened listener = ListenTcp(options.m_Endpoint);
            if (!listener.m_Fd.IsOpen()) {
                return listener;
            }
            int port = LocalPort(listener.m_Fd.Get());
            out.Emit("listening on port " + std::to_string(port) + ", waiting for the gateway",
                     JsonLine().Add("event", "listening").Add("port", port));
            std::string peer;
            Opened opened = AcceptTcp(listener.m_Fd.Get(), options.m_AcceptTimeoutMs, &peer);
            if (opened.m_Fd.IsOpen()) {
                out.Emit("gateway connected from " + peer,
                         JsonLine().Add("event", "connected").Add("peer", peer));
            } else {
                opened.m_Error = "the gateway did not connect: " + opened.m_Error;
            }
            return opened;
        }
        case LinkMode::Serial: {
            Opened opened = OpenSerial(options.m_Device, options.m_Serial);
            if (opened.m_Fd.IsOpen()) {
                out.Emit("opened " + options.m_Device,
                         JsonLine().Add("event", "opened").Add("device", options.m_Device));
            }
            return opened;
        }
        case LinkMode::None:
            break;
    }
    return Opened{Fd(), "no link named"};
}

}  // namespace

int RunStation(const StationOptions& options) {
    Output out(options.m_Json);
    Opened opened = OpenLink(options, out);
    if (!opened.m_Fd.IsOpen()) {
        out.Error(ExitLink, opened.m_Error);
        return ExitLink;
    }
    Link link(std::move(opened.m_Fd), options.m_TimeoutMs);
    return Station(options, link, out).Run();
}

}  // namespace tw::tools
