#include "net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

namespace tw::tools {

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        Close();
        m_Fd = other.Release();
    }
    return *this;
}

Fd::~Fd() {
    Close();
}

int Fd::Release() {
    int fd = m_Fd;
    m_Fd = -1;
    return fd;
}

void Fd::Close() {
    if (m_Fd >= 0) {
        ::close(m_Fd);
        m_Fd = -1;
    }
}

std::optional<long> ParseWholeNumber(std::string_view text, long min, long max) {
    if (text.empty() || text.size() > 18) {
        return std::nullopt;
    }
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<Endpoint> ParseEndpoint(std::string_view text, std::string_view defaultHost) {
    std::string_view host = defaultHost;
    std::string_view portText = text;
    std::size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
        }
    }
    std::optional<long> port = ParseWholeNumber(portText, 0, 65535);
    if (!port || host.empty()) {
        return std::nullopt;
    }
    return Endpoint{std::string(host), static_cast<int>(*port)};
}

std::string ToText(const Endpoint& endpoint) {
    return endpoint.m_Host + ":" + std::to_string(endpoint.m_Port);
}

std::optional<SerialSettings> ParseSerialSettings(std::string_view text) {
    std::array<std::string_view, 4> parts;
    std::size_t start = 0;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        std::size_t comma = text.find(',', start);
        if ((comma == std::string_view::npos) != (k == parts.size() - 1)) {
            return std::nullopt;
        }
        parts[k] = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        start = comma + 1;
    }
    std::optional<long> baud = ParseWholeNumber(parts[0], 50, 4000000);
    std::optional<long> dataBits = ParseWholeNumber(parts[2], 5, 8);
    std::optional<long> stopBits = ParseWholeNumber(parts[3], 1, 2);
    if (!baud || !dataBits || !stopBits || parts[1].size() != 1) {
        return std::nullopt;
    }
    char parity = static_cast<char>(std::toupper(static_cast<unsigned char>(parts[1][0])));
    if (parity != 'N' && parity != 'E' && parity != 'O') {
        return std::nullopt;
    }
    return SerialSettings{static_cast<int>(*baud), parity, static_cast<int>(*dataBits),
                          static_cast<int>(*stopBits)};
}

std::string ErrorText(int error) {
    return std::strerror(error);
}

void SetNoDelay(int fd) {
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void IgnoreBrokenPipe() {
    std::signal(SIGPIPE, SIG_IGN);
}

namespace {

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddrList = std::unique_ptr<addrinfo, AddrInfoFree>;

AddrList Resolve(const Endpoint& endpoint, bool passive, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = passive ? AI_PASSIVE : 0;
    addrinfo* list = nullptr;
    std::string port = std::to_string(endpoint.m_Port);
    int result = getaddrinfo(endpoint.m_Host.c_str(), port.c_str(), &hints, &list);
    if (result != 0) {
        *error = "cannot resolve " + endpoint.m_Host + ": " + gai_strerror(result);
        return nullptr;
    }
    return AddrList(list);
}

void SetBlocking(int fd, bool blocking) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

// One connection attempt with a bounded wait; 0 or an errno value.
int ConnectOne(int fd, const addrinfo& address, int timeoutMs) {
    SetBlocking(fd, false);
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            return errno;
        }
        pollfd waiting{fd, POLLOUT, 0};
        int ready = ::poll(&waiting, 1, timeoutMs);
        if (ready == 0) {
            return ETIMEDOUT;
        }
        if (ready < 0) {
            return errno;
        }
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0) {
            return error;
        }
    }
    SetBlocking(fd, true);
    return 0;
}

std::string PeerText(const sockaddr_storage& address) {
    std::array<char, INET6_ADDRSTRLEN> host{};
    int port = 0;
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        ::inet_ntop(AF_INET, &v4.sin_addr, host.data(), host.size());
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, host.data(), host.size());
        port = ntohs(v6.sin6_port);
    }
    return std::string(host.data()) + ":" + std::to_string(port);
}

// Opens a socket for each resolved address in turn and keeps the first one
// for which attempt(fd, address) returns 0; otherwise reports the last errno
// through describe.
template <typename Attempt, typename Describe>
Opened OpenFirstAddress(const Endpoint& endpoint, bool passive, Attempt attempt,
                        Describe describe) {
    Opened opened;
    AddrList list = Resolve(endpoint, passive, &opened.m_Error);
    if (!list) {
        return opened;
    }
    int lastError = 0;
    for (addrinfo* address = list.get(); address != nullptr; address = address->ai_next) {
        Fd fd(::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC,
                       address->ai_protocol));
        lastError = fd.IsOpen() ? attempt(fd.Get(), *address) : errno;
        if (lastError == 0) {
            opened.m_Fd = std::move(fd);
            return opened;
        }
    }
    opened.m_Error = describe(lastError);
    return opened;
}

}  // namespace

Opened ConnectTcp(const Endpoint& endpoint, int timeoutMs) {
    return OpenFirstAddress(
        endpoint, false,
        [timeoutMs](int fd, const addrinfo& address) {
            const int error = ConnectOne(fd, address, timeoutMs);
            if (error == 0) {
                SetNoDelay(fd);
            }
            return error;
        },
        [&](int error) {
            return "cannot connect to " + ToText(endpoint) + ": " +
                   (error == ETIMEDOUT ? "no answer within " + std::to_string(timeoutMs) + " ms"
                                       : ErrorText(error));
        });
}

Opened ListenTcp(const Endpoint& endpoint) {
    return OpenFirstAddress(
        endpoint, true,
        [](int fd, const addrinfo& address) {
            int on = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            if (::bind(fd, address.ai_addr, address.ai_addrlen) == 0 && ::listen(fd, 16) == 0) {
                return 0;
            }
            return errno;
        },
        [&](int error) {
            return "cannot listen on " + ToText(endpoint) + ": " + ErrorText(error);
        });
}

int LocalPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return -1;
    }
    if (address.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
    return -1;
}

Opened AcceptTcp(int listenFd, int timeoutMs, std::string* peer) {
    Opened opened;
    switch (WaitReadable(listenFd, timeoutMs)) {
        case WaitResult::TimedOut:
            opened.m_Error = "no connection within " + std::to_string(timeoutMs) + " ms";
            return opened;
        case WaitResult::Failed:
            opened.m_Error = "waiting for a connection failed: " + ErrorText(errno);
            return opened;
        case WaitResult::Ready:
            break;
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    Fd fd(::accept4(listenFd, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC));
    if (!fd.IsOpen()) {
        opened.m_Error = "accepting a connection failed: " + ErrorText(errno);
        return opened;
    }
    SetNoDelay(fd.Get());
    if (peer != nullptr) {
        *peer = PeerText(address);
    }
    opened.m_Fd = std::move(fd);
    return opened;
}

namespace {

speed_t BaudConstant(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

tcflag_t DataBitsFlag(int bits) {
    switch (bits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

}  // namespace

Opened OpenSerial(const std::string& device, const SerialSettings& settings) {
    Opened opened;
    speed_t speed = BaudConstant(settings.m_Baud);
    if (speed == B0) {
        opened.m_Error = "unsupported baud rate " + std::to_string(settings.m_Baud);
        return opened;
    }
    // Opened non-blocking so a line without carrier cannot hold the open.
    Fd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.IsOpen()) {
        opened.m_Error = "cannot open " + device + ": " + ErrorText(errno);
        return opened;
    }
    termios tty{};
    if (::tcgetattr(fd.Get(), &tty) != 0) {
        opened.m_Error = device + " is not a serial line: " + ErrorText(errno);
        return opened;
    }
    ::cfmakeraw(&tty);
    ::cfsetispeed(&tty, speed);
    ::cfsetospeed(&tty, speed);
    tty.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tty.c_cflag |= DataBitsFlag(settings.m_DataBits) | CLOCAL | CREAD;
    if (settings.m_Parity != 'N') {
        tty.c_cflag |= PARENB;
    }
    if (settings.m_Parity == 'O') {
        tty.c_cflag |= PARODD;
    }
    if (settings.m_StopBits == 2) {
        tty.c_cflag |= CSTOPB;
    }
    tty.c_cc[VMIN] = 1;
    tty.c_cc[VTIME] = 0;
    if (::tcsetattr(fd.Get(), TCSANOW, &tty) != 0) {
        opened.m_Error = "cannot set " + device + " to the line settings: " + ErrorText(errno);
        return opened;
    }
    SetBlocking(fd.Get(), true);
    opened.m_Fd = std::move(fd);
    return opened;
}

WaitResult WaitReadable(int fd, int timeoutMs) {
    pollfd waiting{fd, POLLIN, 0};
    while (true) {
        int ready = ::poll(&waiting, 1, timeoutMs);
        if (ready > 0) {
            return WaitResult::Ready;
        }
        if (ready == 0) {
            return WaitResult::TimedOut;
        }
        if (errno != EINTR) {
            return WaitResult::Failed;
        }
    }
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace tw::tools
