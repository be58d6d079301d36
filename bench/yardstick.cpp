// yardstick: the least a station-2 server has to do for a call, and nothing
// more. It answers one control station over TCP and, for every call it
// accepts, writes one event-log line, hands one alarm line to the alarm
// server and only then acknowledges: per wake-up one read, and per call one
// write and two sends. Its calls/s beside the gateway's, with the same client
// on the same machine, show how much of the gateway's cost a call needs and
// how much is the gateway's own.
//
//   yardstick --station-port N --alarm-port N --log FILE
//             [--description TEXT] [--category TEXT]
//
// Both ports listen on 127.0.0.1; port 0 picks a free one, and the ports
// taken are printed once listening. Runs until SIGINT or SIGTERM, then prints
// what it did. Plain POSIX: nothing of the gateway's code and no Qt, so the
// figure cannot inherit the gateway's costs.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace {

using namespace std::string_view_literals;

constexpr char Soh = 0x01;
constexpr char Stx = 0x02;
constexpr char Etx = 0x03;
constexpr char Eot = 0x04;
constexpr char Ack = 0x06;
constexpr char Nak = 0x15;
constexpr char Rs = 0x1E;
constexpr char Us = 0x1F;
constexpr std::string_view Select = "1\x05"sv;  // "1" ENQ: the station selects us
constexpr std::string_view Poll = "2\x05"sv;    // "2" ENQ: the station polls us

// Unanswered input beyond this can be no element any more; it is dropped.
constexpr std::size_t MaxInput = 4096;
// A partner that lets this much pile up reads nothing; it is let go.
constexpr std::size_t MaxBacklog = 1 << 20;

volatile sig_atomic_t g_StopRequested = 0;

void RequestStop(int /*signal*/) {
    g_StopRequested = 1;
}

// Owns one file descriptor.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : m_Fd(fd) {}
    Fd(Fd&& other) noexcept : m_Fd(std::exchange(other.m_Fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Close();
            m_Fd = std::exchange(other.m_Fd, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Close(); }

    int Get() const { return m_Fd; }
    bool IsOpen() const { return m_Fd >= 0; }

  private:
    void Close() {
        if (m_Fd >= 0) {
            ::close(m_Fd);
        }
        m_Fd = -1;
    }

    int m_Fd = -1;
};

// A connected partner and what its socket has not taken yet, in order.
struct Connection {
    Fd m_Fd;
    std::string m_Backlog;
};

struct Options {
    std::optional<int> m_StationPort;
    std::optional<int> m_AlarmPort;
    std::string m_LogPath;
    std::string m_Description = "Yardstick";
    std::string m_Category = "ESPA";
};

const char* const Usage =
    "Usage: yardstick --station-port N --alarm-port N --log FILE\n"
    "                 [--description TEXT] [--category TEXT]\n"
    "Answers one control station as station 2 (TCP, 127.0.0.1:N) and hands each\n"
    "call to the alarm server connected on the alarm port as the line\n"
    "1|||DESCRIPTION||CATEGORY||TEXT| after one event-log line in FILE.\n"
    "Port 0 picks a free port. Runs until SIGINT or SIGTERM.\n";

std::optional<int> ParsePort(std::string_view text) {
    int port = -1;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

// False (with a message) on anything but a complete, valid command line.
bool ParseOptions(int argc, char** argv, Options& options) {
    for (int k = 1; k < argc; ++k) {
        std::string_view option = argv[k];
        if (k + 1 >= argc) {
            std::fprintf(stderr, "yardstick: %s needs a value\n", argv[k]);
            return false;
        }
        std::string_view value = argv[++k];
        if (option == "--station-port" || option == "--alarm-port") {
            std::optional<int>& port =
                option == "--station-port" ? options.m_StationPort : options.m_AlarmPort;
            port = ParsePort(value);
            if (!port) {
                std::fprintf(stderr, "yardstick: %s needs a port from 0 to 65535\n", argv[k - 1]);
                return false;
            }
        } else if (option == "--log") {
            options.m_LogPath = value;
        } else if (option == "--description") {
            options.m_Description = value;
        } else if (option == "--category") {
            options.m_Category = value;
        } else {
            std::fprintf(stderr, "yardstick: unknown option %s\n", argv[k - 1]);
            return false;
        }
    }
    if (!options.m_StationPort || !options.m_AlarmPort || options.m_LogPath.empty()) {
        std::fprintf(stderr, "yardstick: --station-port, --alarm-port and --log are needed\n");
        return false;
    }
    return true;
}

// A non-blocking listener on 127.0.0.1:port; closed, with a message, on failure.
Fd ListenLoopback(int port) {
    Fd listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = listener.IsOpen() &&
              ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
              ::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              ::listen(listener.Get(), 8) == 0;
    if (!ok) {
        std::fprintf(stderr, "yardstick: cannot listen on 127.0.0.1:%d: %s\n", port,
                     std::strerror(errno));
        return Fd();
    }
    return listener;
}

int BoundPort(const Fd& listener) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return -1;
    }
    return ntohs(address.sin_port);
}

// The next waiting connection, non-blocking and without Nagle's delay, so a
// one-byte ACK leaves at once as the gateway's does.
Fd AcceptFrom(const Fd& listener) {
    Fd accepted(::accept4(listener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    int on = 1;
    if (accepted.IsOpen()) {
        ::setsockopt(accepted.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return accepted;
}

// The text of the record with this id in a call's data (records "id" US
// "text", joined by RS), or nothing.
std::string_view RecordText(std::string_view data, std::string_view id) {
    while (true) {
        std::size_t end = data.find(Rs);
        std::string_view record = data.substr(0, end);
        std::size_t separator = record.find(Us);
        if (separator != std::string_view::npos && record.substr(0, separator) == id) {
            return record.substr(separator + 1);
        }
        if (end == std::string_view::npos) {
            return {};
        }
        data.remove_prefix(end + 1);
    }
}

// The display text (record 2) as the log and the alarm line show it: outer
// blanks dropped, runs of blanks made one, and control characters made "/",
// so that a text can never break the one-line formats it goes into.
std::string DisplayText(std::string_view data) {
    std::string_view text = RecordText(data, "2");
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    std::string shown;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 32) {
            shown += '/';
        } else if (c != ' ' || shown.back() != ' ') {
            shown += c;
        }
    }
    return shown;
}

// "YY-MM-DD HH:NN:SS" of the local time now.
std::string Stamp() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d-%02d-%02d %02d:%02d:%02d", local.tm_year % 100,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

bool IsTransient(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

class Yardstick {
  public:
    Yardstick(const Options& options, Fd stationListener, Fd alarmListener, Fd log)
        : m_Options(options),
          m_StationListener(std::move(stationListener)),
          m_AlarmListener(std::move(alarmListener)),
          m_Log(std::move(log)) {}

    // Serves until a stop signal arrives; waitMask is the signal mask to wait
    // with, so a signal can only arrive while the loop waits.
    int Run(const sigset_t& waitMask) {
        while (!g_StopRequested) {
            // The alarm server is served and taken before the station's input,
            // so a call that arrives together with its connection finds it.
            pollfd waiting[] = {
                {m_Alarm.m_Fd.Get(), Interest(m_Alarm), 0},
                {m_AlarmListener.Get(), POLLIN, 0},
                {m_Station.m_Fd.Get(), Interest(m_Station), 0},
                {m_StationListener.Get(), POLLIN, 0},
            };
            if (::ppoll(waiting, std::size(waiting), nullptr, &waitMask) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                std::perror("yardstick: ppoll");
                return 2;
            }
            Dispatch(waiting);
        }
        PrintSummary();
        return 0;
    }

  private:
    static short Interest(const Connection& connection) {
        return static_cast<short>(POLLIN | (connection.m_Backlog.empty() ? 0 : POLLOUT));
    }

    void Dispatch(const pollfd (&waiting)[4]) {
        if (waiting[0].revents != 0) {
            ServeAlarmServer(waiting[0].revents);
        }
        if (waiting[1].revents != 0) {
            TakeAlarmServer();
        }
        if (waiting[2].revents != 0) {
            ServeStation(waiting[2].revents);
        }
        if (waiting[3].revents != 0) {
            TakeStation();
        }
    }

    // The newest alarm server replaces an older one.
    void TakeAlarmServer() {
        Fd accepted = AcceptFrom(m_AlarmListener);
        if (accepted.IsOpen()) {
            m_Alarm = Connection{std::move(accepted), {}};
        }
    }

    // One station at a time: a second one is closed again while the first
    // stays, as the gateway's TCP server port does.
    void TakeStation() {
        Fd accepted = AcceptFrom(m_StationListener);
        if (accepted.IsOpen() && !m_Station.m_Fd.IsOpen()) {
            m_Station = Connection{std::move(accepted), {}};
            m_Input.clear();
            m_Selected = false;
        }
    }

    // Nothing the alarm server sends means anything: read and dropped.
    void ServeAlarmServer(short events) {
        if ((events & POLLOUT) != 0) {
            Flush(m_Alarm);
        }
        if ((events & (POLLIN | POLLHUP | POLLERR)) != 0 && m_Alarm.m_Fd.IsOpen()) {
            char chunk[4096];
            ssize_t count = ::read(m_Alarm.m_Fd.Get(), chunk, sizeof chunk);
            if (count == 0 || (count < 0 && !IsTransient(errno))) {
                m_Alarm = Connection{};
            }
        }
    }

    void ServeStation(short events) {
        if ((events & POLLOUT) != 0) {
            Flush(m_Station);
        }
        if ((events & (POLLIN | POLLHUP | POLLERR)) != 0 && m_Station.m_Fd.IsOpen()) {
            ReadStation();
        }
    }

    // One read, then every complete element answered in turn; an incomplete
    // one waits for the next read.
    void ReadStation() {
        char chunk[4096];
        ssize_t count = ::read(m_Station.m_Fd.Get(), chunk, sizeof chunk);
        if (count < 0 && IsTransient(errno)) {
            return;
        }
        if (count <= 0) {
            m_Station = Connection{};
            return;
        }
        m_Input.append(chunk, static_cast<std::size_t>(count));
        std::size_t head = 0;
        while (head < m_Input.size()) {
            std::size_t used = AnswerElement(std::string_view(m_Input).substr(head));
            if (used == 0) {
                break;
            }
            head += used;
        }
        m_Input.erase(0, head);
        if (m_Input.size() > MaxInput) {
            m_Input.clear();
        }
    }

    // Answers the element at the head of input as station 2 and returns its
    // length, or 0 while it has not fully arrived. A byte that begins no
    // element is skipped.
    std::size_t AnswerElement(std::string_view input) {
        if (input.starts_with(Select)) {
            m_Selected = true;
            return Select.size();
        }
        if (input.starts_with(Poll)) {
            // Selected, it is asked to receive; else nothing is queued for it.
            Reply(m_Selected ? Ack : Eot);
            return Poll.size();
        }
        switch (input.front()) {
            case Soh:
                return AnswerBlock(input);
            case Eot:
                EndSelection();
                return 1;
            case Ack:
                Reply(Eot);  // it fetches a call-status block; none are kept here
                return 1;
            case '1':
            case '2':
                return input.size() == 1 ? 0 : 1;
            default:
                return 1;
        }
    }

    // An EOT outside a selection is not answered.
    void EndSelection() {
        if (m_Selected) {
            Reply(Eot);
            m_Selected = false;
        }
    }

    // SOH ... ETX and the check character: ACK after the call is logged and
    // handed on, NAK when the exclusive-or of everything after SOH (the check
    // character included) is not 0 or the block holds no STX.
    std::size_t AnswerBlock(std::string_view input) {
        std::size_t etx = input.find(Etx, 1);
        if (etx == std::string_view::npos || etx + 1 >= input.size()) {
            return 0;
        }
        std::string_view block = input.substr(0, etx + 2);
        char check = 0;
        for (char c : block.substr(1)) {
            check = static_cast<char>(check ^ c);
        }
        std::size_t stx = block.find(Stx);
        if (check != 0 || stx == std::string_view::npos || stx > etx) {
            ++m_Refused;
            Reply(Nak);
            return block.size();
        }
        AcceptCall(block.substr(stx + 1, etx - stx - 1));
        Reply(Ack);
        return block.size();
    }

    // The duties of an accepted call, in the gateway's order: the event-log
    // line, then the alarm line. Each goes out in one system call.
    void AcceptCall(std::string_view data) {
        ++m_Accepted;
        std::string text = DisplayText(data);
        std::string line = Stamp() + " Got ESPA message: " + text + "\r\n";
        if (::write(m_Log.Get(), line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            ++m_LogFailures;
        }
        if (!m_Alarm.m_Fd.IsOpen()) {
            ++m_Undelivered;
            return;
        }
        std::string alarm =
            "1|||" + m_Options.m_Description + "||" + m_Options.m_Category + "||" + text + "|\n";
        Send(m_Alarm, alarm);
    }

    void Reply(char element) { Send(m_Station, std::string_view(&element, 1)); }

    // Sends at once unless earlier bytes still wait; what the socket does not
    // take waits for POLLOUT. A failed send is left to the next wait, which
    // reports the connection's end.
    void Send(Connection& to, std::string_view bytes) {
        if (!to.m_Fd.IsOpen()) {
            return;
        }
        if (to.m_Backlog.empty()) {
            ssize_t sent = ::send(to.m_Fd.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent == static_cast<ssize_t>(bytes.size()) || (sent < 0 && !IsTransient(errno))) {
                return;
            }
            bytes.remove_prefix(sent > 0 ? static_cast<std::size_t>(sent) : 0);
        }
        to.m_Backlog.append(bytes);
        if (to.m_Backlog.size() > MaxBacklog) {
            std::fprintf(stderr, "yardstick: a partner reads nothing; its connection is closed\n");
            to = Connection{};
        }
    }

    void Flush(Connection& to) {
        ssize_t sent =
            ::send(to.m_Fd.Get(), to.m_Backlog.data(), to.m_Backlog.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            to.m_Backlog.erase(0, static_cast<std::size_t>(sent));
        }
    }

    void PrintSummary() const {
        std::printf(
            "%ld calls answered ACK, %ld NAK; %ld alarm lines not sent (no alarm server), "
            "%ld event-log lines not written\n",
            m_Accepted, m_Refused, m_Undelivered, m_LogFailures);
        std::fflush(stdout);
    }

    const Options& m_Options;
    Fd m_StationListener;
    Fd m_AlarmListener;
    Fd m_Log;
    Connection m_Station;
    Connection m_Alarm;
    std::string m_Input;  // the station's input not answered yet
    bool m_Selected = false;
    long m_Accepted = 0;
    long m_Refused = 0;
    long m_Undelivered = 0;
    long m_LogFailures = 0;
};

// SIGINT and SIGTERM set the stop flag; they stay blocked except while the
// loop waits, which is what the returned mask is for.
sigset_t PrepareStopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigset_t waitMask;
    ::sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    return waitMask;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (argv[1] == "--help"sv || argv[1] == "-h"sv)) {
        std::fputs(Usage, stdout);
        return 0;
    }
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(Usage, stderr);
        return 1;
    }
    sigset_t waitMask = PrepareStopSignals();
    Fd log(::open(options.m_LogPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!log.IsOpen()) {
        std::fprintf(stderr, "yardstick: cannot open %s: %s\n", options.m_LogPath.c_str(),
                     std::strerror(errno));
        return 2;
    }
    Fd station = ListenLoopback(*options.m_StationPort);
    Fd alarm = station.IsOpen() ? ListenLoopback(*options.m_AlarmPort) : Fd();
    if (!alarm.IsOpen()) {
        return 2;
    }
    std::printf("listening on 127.0.0.1: station port %d, alarm port %d\n", BoundPort(station),
                BoundPort(alarm));
    std::fflush(stdout);
    Yardstick yardstick(options, std::move(station), std::move(alarm), std::move(log));
    return yardstick.Run(waitMask);
}
