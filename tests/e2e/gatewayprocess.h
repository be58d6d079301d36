// Helpers of the end-to-end tests: the built gateway program started as a
// process of its own on a temporary folder, headless, reached over loopback
// sockets, stopped by signals. Every wait is bounded; a gateway still running
// when its GatewayProcess goes is killed.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/dialogue.h"
#include "support/tempfolder.h"

namespace tw::test {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Polls condition every 10 ms until it holds or timeoutMs passed.
template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs = 5000) {
    const auto deadline = SteadyClock::now() + milliseconds(timeoutMs);
    while (!condition()) {
        if (SteadyClock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
}

// One run of the gateway program; stderr and stdout go to a file.
class GatewayProcess {
  public:
    // fileSizeLimit: RLIMIT_FSIZE of the process in bytes (0: none), which
    // makes writes beyond it fail as on a full disk.
    GatewayProcess(const std::vector<std::string>& arguments, const std::string& outputFile,
                   rlim_t fileSizeLimit = 0) {
        std::vector<std::string> all{TW_GATEWAY_BINARY};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        argv.reserve(all.size() + 1);
        for (std::string& argument : all) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        m_Pid = fork();
        if (m_Pid == 0) {
            const int output = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fileSizeLimit > 0) {
                const rlimit limit{fileSizeLimit, fileSizeLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            dup2(output, STDOUT_FILENO);
            dup2(output, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~GatewayProcess() {
        if (m_Pid > 0 && !m_Status) {
            kill(m_Pid, SIGKILL);
            waitpid(m_Pid, nullptr, 0);
        }
    }
    GatewayProcess(const GatewayProcess&) = delete;
    GatewayProcess& operator=(const GatewayProcess&) = delete;

    void Signal(int signalNumber) const { kill(m_Pid, signalNumber); }

    // The exit status once the process ended within timeoutMs; nullopt when it
    // still runs or died from a signal.
    std::optional<int> WaitForExit(int timeoutMs = 5000) {
        WaitFor([&] { return HasEnded(); }, timeoutMs);
        if (m_Status && WIFEXITED(*m_Status)) {
            return WEXITSTATUS(*m_Status);
        }
        return std::nullopt;
    }

    // Whether the process has ended, by exit or by a signal (reaped then).
    bool HasEnded() {
        int status = 0;
        if (!m_Status && waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
            m_Status = status;
        }
        return m_Status.has_value();
    }

    // Whether a shared object whose path holds name is mapped into the process.
    bool HasLoaded(const std::string& name) const {
        std::ifstream maps("/proc/" + std::to_string(m_Pid) + "/maps");
        std::string line;
        while (std::getline(maps, line)) {
            if (line.find(name) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    // The resident memory in KiB (VmRSS of /proc), 0 when unknown.
    long ResidentKiB() const {
        std::ifstream status("/proc/" + std::to_string(m_Pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmRSS:", 0) == 0) {
                return std::strtol(line.c_str() + 6, nullptr, 10);
            }
        }
        return 0;
    }

  private:
    pid_t m_Pid = -1;
    std::optional<int> m_Status;
};

inline sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

class RawSocket {
  public:
    RawSocket() = default;
    ~RawSocket() { Close(); }
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    // Tries until the gateway accepts on port (or timeoutMs passed).
    bool Connect(int port, int timeoutMs = 5000) {
        return WaitFor(
            [&] {
                Close();
                m_Descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                const sockaddr_in address = Loopback(port);
                return connect(m_Descriptor, reinterpret_cast<const sockaddr*>(&address),
                               sizeof address) == 0;
            },
            timeoutMs);
    }
    bool Send(const std::string& bytes) const {
        return send(m_Descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Collects bytes until they equal expected, or timeoutMs passed.
    std::string Receive(const std::string& expected, int timeoutMs = 5000) {
        WaitFor([&] { return ReadAvailable() == expected; }, timeoutMs);
        return m_Received;
    }
    // Collects bytes until they hold at least count line feeds, or timeoutMs
    // passed.
    std::string ReceiveLines(size_t count, int timeoutMs = 5000) {
        WaitFor(
            [&] {
                const std::string& received = ReadAvailable();
                return static_cast<size_t>(std::count(received.begin(), received.end(), '\n')) >=
                       count;
            },
            timeoutMs);
        return m_Received;
    }
    // Whatever has arrived so far, read without waiting.
    const std::string& ReadAvailable() {
        pollfd ready{m_Descriptor, POLLIN, 0};
        char chunk[4096];
        while (m_Descriptor >= 0 && poll(&ready, 1, 0) == 1) {
            const ssize_t got = recv(m_Descriptor, chunk, sizeof chunk, 0);
            if (got <= 0) {
                break;
            }
            m_Received.append(chunk, static_cast<size_t>(got));
        }
        return m_Received;
    }
    void ForgetReceived() { m_Received.clear(); }
    // Closes with a reset instead of an orderly close.
    void Reset() {
        const linger abort{1, 0};
        setsockopt(m_Descriptor, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        Close();
    }
    void Close() {
        if (m_Descriptor >= 0) {
            close(m_Descriptor);
            m_Descriptor = -1;
        }
    }
    int Descriptor() const { return m_Descriptor; }

  private:
    int m_Descriptor = -1;
    std::string m_Received;
};

// A port nobody listens on right now.
inline int FreePort() {
    const int descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        address.sin_port = 0;
    }
    close(descriptor);
    return ntohs(address.sin_port);
}

class GatewayE2eTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(m_Folder.Path() + "units");
        setenv("TELLWICK_UNIT_DIR", (m_Folder.Path() + "units").c_str(), 1);
        unsetenv("NOTIFY_SOCKET");
    }
    void TearDown() override { unsetenv("TELLWICK_UNIT_DIR"); }

    std::unique_ptr<GatewayProcess> Run(std::vector<std::string> arguments,
                                        const std::string& outputName = "output.txt",
                                        rlim_t fileSizeLimit = 0) {
        arguments.insert(arguments.begin(), {"--app-folder", m_Folder.Path(), "--headless"});
        return std::make_unique<GatewayProcess>(arguments, m_Folder.Path() + outputName,
                                                fileSizeLimit);
    }

    // The day's event log (the test may run across midnight: all files).
    std::string Log() const {
        std::string all;
        std::error_code missing;  // the gateway has not made the folder yet
        for (const auto& entry :
             std::filesystem::directory_iterator(m_Folder.Path() + "LogFiles", missing)) {
            if (entry.path().extension() == ".Log" && entry.path().stem() != "CommDebug") {
                all += m_Folder.Read("LogFiles/" + entry.path().filename().string());
            }
        }
        return all;
    }
    bool LogShows(const std::string& text, int timeoutMs = 5000) const {
        return WaitFor([&] { return Log().find(text) != std::string::npos; }, timeoutMs);
    }

    // A fresh connection to port carries one call that is answered ACK, EOT;
    // tried again while the gateway still refuses the connection (its former
    // partner's close not yet seen).
    bool CallIsAnswered(int port, const std::string& text, int timeoutMs = 5000) {
        return WaitFor(
            [&] {
                RawSocket partner;
                return partner.Connect(port, 500) && partner.Send(CallDialogue("123", text)) &&
                       partner.Receive(kCallAnswer, 500) == kCallAnswer;
            },
            timeoutMs);
    }

    TempFolder m_Folder;
};

}  // namespace tw::test
