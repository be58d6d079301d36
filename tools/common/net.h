// Sockets and serial lines for the tools: opening with a bounded wait,
// writing all of a text, waiting for input with a time-out. Every failure
// comes back as readable text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tw::tools {

// Owns one file descriptor.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : m_Fd(fd) {}
    Fd(Fd&& other) noexcept : m_Fd(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();

    int Get() const { return m_Fd; }
    bool IsOpen() const { return m_Fd >= 0; }
    int Release();
    void Close();

  private:
    int m_Fd = -1;
};

struct Endpoint {
    std::string m_Host;
    int m_Port = 0;
};

// A whole decimal number within [min, max], nothing else in the text.
std::optional<long> ParseWholeNumber(std::string_view text, long min, long max);

// "host:port" or a bare "port" (then the host is defaultHost).
std::optional<Endpoint> ParseEndpoint(std::string_view text, std::string_view defaultHost);

std::string ToText(const Endpoint& endpoint);

// Serial line settings written as "9600,N,8,1".
struct SerialSettings {
    int m_Baud = 9600;
    char m_Parity = 'N';  // N, E or O
    int m_DataBits = 8;   // 5 to 8
    int m_StopBits = 1;   // 1 or 2
};
std::optional<SerialSettings> ParseSerialSettings(std::string_view text);

struct Opened {
    Fd m_Fd;
    std::string m_Error;  // empty on success
};

// Connects within timeoutMs; the socket has TCP_NODELAY set.
Opened ConnectTcp(const Endpoint& endpoint, int timeoutMs);

// A listening socket (address reuse on). Port 0 picks a free port.
Opened ListenTcp(const Endpoint& endpoint);

// The local port a socket is bound to, or -1.
int LocalPort(int fd);

// Waits up to timeoutMs for a connection; the accepted socket has TCP_NODELAY
// set. peer receives "address:port".
Opened AcceptTcp(int listenFd, int timeoutMs, std::string* peer);

// Opens a serial device in raw mode with the given settings.
Opened OpenSerial(const std::string& device, const SerialSettings& settings);

void SetNoDelay(int fd);

enum class WaitResult { Ready, TimedOut, Failed };
WaitResult WaitReadable(int fd, int timeoutMs);

// Writes every byte (retrying short writes); false with errno set on failure.
bool WriteAll(int fd, std::string_view bytes);

// A failed write to a closed peer comes back as EPIPE instead of a signal.
void IgnoreBrokenPipe();

std::string ErrorText(int error);

}  // namespace tw::tools
