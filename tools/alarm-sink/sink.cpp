#include "sink.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "alarmline.h"
#include "base/systemtext.h"
#include "latency.h"
#include "textout.h"

namespace tw::tools {

const char* const SinkUsage =
    R"(Usage: alarm-sink [--connect HOST:PORT] [--json] [--quiet] [--count N] [--timeout-ms MS]
Connects to the gateway's alarm port (default 127.0.0.1:14000) as the alarm
server does and prints every alarm line with its fields decoded. When the
gateway goes away it connects again every second.

  --connect HOST:PORT   the gateway's ZorvanPort
  --json                one JSON object per line
  --quiet               print no line, only the count summary and problems
  --count N             stop after N alarm lines (watchdog lines not counted)
                        and print the time from the first to the last and lines/s
  --timeout-ms MS       stop when nothing arrives for MS milliseconds
  --help                this text

Exit codes: 0 --count lines received; 1 bad command line; 3 nothing arrived
within --timeout-ms.
)";

ParsedSinkArguments ParseSinkArguments(const std::vector<std::string>& arguments) {
    ParsedSinkArguments parsed;
    SinkOptions& options = parsed.m_Options;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        const std::string& option = arguments[k];
        if (option == "--help" || option == "-h") {
            parsed.m_Help = true;
            return parsed;
        }
        if (option == "--json" || option == "--quiet") {
            (option == "--json" ? options.m_Json : options.m_Quiet) = true;
            continue;
        }
        bool takesValue = option == "--connect" || option == "--count" || option == "--timeout-ms";
        if (!takesValue) {
            parsed.m_Error = "unknown option \"" + option + "\"";
            return parsed;
        }
        if (k + 1 >= arguments.size()) {
            parsed.m_Error = option + " needs a value";
            return parsed;
        }
        const std::string& value = arguments[++k];
        if (option == "--connect") {
            std::optional<Endpoint> endpoint = ParseEndpoint(value, "127.0.0.1");
            if (!endpoint || endpoint->m_Port == 0) {
                parsed.m_Error = "--connect needs HOST:PORT, not \"" + value + "\"";
                return parsed;
            }
            options.m_Endpoint = *endpoint;
            continue;
        }
        bool count = option == "--count";
        std::optional<long> number = ParseWholeNumber(value, 1, count ? 1000000000 : 86400000);
        if (!number) {
            parsed.m_Error = option + " needs a positive whole number, not \"";
            parsed.m_Error += value + "\"";
            return parsed;
        }
        if (count) {
            options.m_Count = *number;
        } else {
            options.m_TimeoutMs = static_cast<int>(*number);
        }
    }
    return parsed;
}

namespace {

constexpr int ConnectAttemptMs = 1000;
constexpr int RetryIntervalMs = 1000;

class Sink {
  public:
    explicit Sink(const SinkOptions& options)
        : m_Options(options), m_Utf8(SystemUsesUtf8()), m_LastActivity(Clock::now()) {}

    int Run() {
        while (true) {
            int left = TimeLeftMs();
            int attemptMs = left < 0 ? ConnectAttemptMs : std::clamp(left, 1, ConnectAttemptMs);
            Opened opened = ConnectTcp(m_Options.m_Endpoint, attemptMs);
            if (!opened.m_Fd.IsOpen()) {
                ReportOutage(opened.m_Error);
                if (!Pause(RetryIntervalMs)) {
                    return TimedOut();
                }
                continue;
            }
            Status("connected to " + ToText(m_Options.m_Endpoint));
            m_Outage = false;
            m_LastActivity = Clock::now();
            std::optional<int> exitCode = Receive(opened.m_Fd.Get());
            if (exitCode) {
                return *exitCode;
            }
            m_Reader.Reset();
            Status("connection to " + ToText(m_Options.m_Endpoint) +
                   " ended; connecting again every second");
            m_Outage = true;
            // Also after a connection ends: two sinks that the gateway keeps
            // replacing by each other must not race.
            if (!Pause(RetryIntervalMs)) {
                return TimedOut();
            }
        }
    }

  private:
    // Milliseconds left before the idle time-out, or -1 without one.
    int TimeLeftMs() const {
        if (m_Options.m_TimeoutMs == 0) {
            return -1;
        }
        auto spent =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_LastActivity);
        return std::max<int>(0, m_Options.m_TimeoutMs - static_cast<int>(spent.count()));
    }

    // Sleeps before the next attempt; false when the idle time-out ran out.
    bool Pause(int ms) {
        int left = TimeLeftMs();
        if (left == 0) {
            return false;
        }
        ::poll(nullptr, 0, left < 0 ? ms : std::min(ms, left));
        return TimeLeftMs() != 0;
    }

    void Status(const std::string& text) const {
        std::fprintf(stderr, "alarm-sink: %s\n", text.c_str());
    }

    // One message per outage, not one per attempt.
    void ReportOutage(const std::string& error) {
        if (!m_Outage) {
            Status(error + "; trying again every second");
            m_Outage = true;
        }
    }

    int TimedOut() const {
        Status("nothing received within " + std::to_string(m_Options.m_TimeoutMs) + " ms");
        if (m_Options.m_Count > 0) {
            PrintCount();
        }
        return SinkExitTimeout;
    }

    // Reads until the connection ends (nullopt) or the run is over (exit code).
    std::optional<int> Receive(int fd) {
        char chunk[65536];
        while (true) {
            pollfd waiting{fd, POLLIN, 0};
            int ready = ::poll(&waiting, 1, TimeLeftMs());
            if (ready == 0) {
                return TimedOut();
            }
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return std::nullopt;
            }
            ssize_t count = ::read(fd, chunk, sizeof chunk);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return std::nullopt;
            }
            m_LastActivity = Clock::now();
            m_ArrivalMicros = EpochMicros();
            for (const AlarmLine& line : m_Reader.Feed(std::string_view(chunk, count))) {
                if (std::optional<int> exitCode = Handle(line)) {
                    return exitCode;
                }
            }
        }
    }

    std::optional<int> Handle(const AlarmLine& line) {
        if (!m_Options.m_Quiet) {
            Print(line);
        }
        if (line.m_Kind != LineKind::Alarm || m_Options.m_Count == 0) {
            return std::nullopt;
        }
        Clock::time_point now = Clock::now();
        if (m_Counted == 0) {
            m_FirstLine = now;
        }
        m_LastLine = now;
        if (++m_Counted < m_Options.m_Count) {
            return std::nullopt;
        }
        PrintCount();
        return SinkExitOk;
    }

    void Print(const AlarmLine& line) const {
        std::string text = m_Options.m_Json ? JsonOf(line) : TextOf(line);
        text += '\n';
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }

    std::string Quoted(std::string_view latin1) const {
        std::string text = "\"";
        text += ForTerminal(latin1, m_Utf8);
        text += '"';
        return text;
    }

    std::string TextOf(const AlarmLine& line) const {
        std::string text = TimeOfDay() + " ";
        switch (line.m_Kind) {
            case LineKind::Alarm: {
                text += "alarm " + std::string(AlarmStateName(line.m_State)) + ":";
                bool any = false;
                for (std::size_t k = 0; k < line.m_Fields.size(); ++k) {
                    if (!line.m_Fields[k].empty()) {
                        text += " T" + std::to_string(k) + "=" + Quoted(line.m_Fields[k]);
                        any = true;
                    }
                }
                text += any ? "" : " (all fields empty)";
                text += line.m_ExtraSeparators ? " [more than six fields: a field held \"|\"]" : "";
                return text;
            }
            case LineKind::Watchdog:
                return text + "watchdog: tag " + Quoted(line.m_Fields[0]);
            case LineKind::Empty:
                return text + "empty line";
            case LineKind::Other:
                break;
        }
        return text + "unrecognised line: " + Quoted(line.m_Raw);
    }

    // t_us: when the line was read, not when it is printed, so that a burst
    // of lines does not count the printing of those before against the rest.
    std::string JsonOf(const AlarmLine& line) const {
        JsonLine json;
        json.Add("t_us", m_ArrivalMicros).Add("time", TimeOfDay());
        switch (line.m_Kind) {
            case LineKind::Alarm:
                json.Add("kind", "alarm")
                    .Add("state", line.m_State)
                    .Add("state_text", AlarmStateName(line.m_State));
                for (std::size_t k = 0; k < line.m_Fields.size(); ++k) {
                    std::string key = "T";
                    key += std::to_string(k);
                    json.Add(key, line.m_Fields[k]);
                }
                json.Add("extra_separators", line.m_ExtraSeparators);
                break;
            case LineKind::Watchdog:
                json.Add("kind", "watchdog")
                    .Add("state", line.m_State)
                    .Add("tag", line.m_Fields[0]);
                break;
            case LineKind::Empty:
                json.Add("kind", "empty");
                break;
            case LineKind::Other:
                json.Add("kind", "other");
                break;
        }
        return json.Add("raw", line.m_Raw).Text();
    }

    void PrintCount() const {
        double seconds = m_Counted > 1 ? MicrosBetween(m_FirstLine, m_LastLine) / 1e6 : 0.0;
        double rate = seconds > 0 ? static_cast<double>(m_Counted - 1) / seconds : 0.0;
        std::string text;
        if (m_Options.m_Json) {
            text = JsonLine()
                       .Add("kind", "count")
                       .Add("lines", static_cast<std::int64_t>(m_Counted))
                       .Add("seconds", seconds)
                       .Add("lines_per_s", rate)
                       .Text();
        } else {
            char buffer[160];
            std::snprintf(buffer, sizeof buffer,
                          "%ld alarm lines; %.3f s from the first to the last: %.0f lines/s",
                          m_Counted, seconds, rate);
            text = buffer;
        }
        text += '\n';
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }

    const SinkOptions& m_Options;
    bool m_Utf8;
    AlarmLineReader m_Reader;
    bool m_Outage = false;
    Clock::time_point m_LastActivity;
    long m_Counted = 0;
    std::int64_t m_ArrivalMicros = 0;  // wall clock of the last read
    Clock::time_point m_FirstLine;
    Clock::time_point m_LastLine;
};

}  // namespace

int RunSink(const SinkOptions& options) {
    return Sink(options).Run();
}

}  // namespace tw::tools
