// The built gateway program as the operator runs it: a process of its own on
// a temporary folder, headless, reached over loopback sockets, stopped by
// signals. Every wait is bounded; a gateway still running at the end of a test
// is killed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "espa/callrecord.h"
#include "support/tempfolder.h"

namespace tw::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Polls condition every 10 ms until it holds or timeoutMs passed.
template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs = 5000) {
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
}

// One run of the gateway program; stderr and stdout go to a file.
class GatewayProcess {
  public:
    GatewayProcess(const std::vector<std::string>& arguments, const std::string& outputFile) {
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
        WaitFor(
            [&] {
                int status = 0;
                if (waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
                    m_Status = status;
                }
                return m_Status.has_value();
            },
            timeoutMs);
        if (m_Status && WIFEXITED(*m_Status)) {
            return WEXITSTATUS(*m_Status);
        }
        return std::nullopt;
    }

  private:
    pid_t m_Pid = -1;
    std::optional<int> m_Status;
};

class RawSocket {
  public:
    RawSocket() = default;
    ~RawSocket() {
        if (m_Descriptor >= 0) {
            close(m_Descriptor);
        }
    }
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    // Tries until the gateway accepts on port.
    bool Connect(int port) {
        return WaitFor([&] {
            if (m_Descriptor >= 0) {
                close(m_Descriptor);
            }
            m_Descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in address = Loopback(port);
            return connect(m_Descriptor, reinterpret_cast<const sockaddr*>(&address),
                           sizeof address) == 0;
        });
    }
    bool Send(const std::string& bytes) const {
        return send(m_Descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Collects bytes until they equal expected, or timeoutMs passed.
    std::string Receive(const std::string& expected, int timeoutMs = 5000) {
        WaitFor(
            [&] {
                pollfd ready{m_Descriptor, POLLIN, 0};
                char chunk[256];
                if (poll(&ready, 1, 0) == 1) {
                    const ssize_t got = recv(m_Descriptor, chunk, sizeof chunk, 0);
                    if (got > 0) {
                        m_Received.append(chunk, static_cast<size_t>(got));
                    }
                }
                return m_Received == expected;
            },
            timeoutMs);
        return m_Received;
    }

    static sockaddr_in Loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

  private:
    int m_Descriptor = -1;
    std::string m_Received;
};

// A port nobody listens on right now.
int FreePort() {
    const int descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = RawSocket::Loopback(0);
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
                                        const std::string& outputName = "output.txt") {
        arguments.insert(arguments.begin(), {"--app-folder", m_Folder.Path(), "--headless"});
        return std::make_unique<GatewayProcess>(arguments, m_Folder.Path() + outputName);
    }

    // The day's event log (the test may run across midnight: all files).
    std::string Log() const {
        std::string all;
        std::error_code missing;  // the gateway has not made the folder yet
        for (const auto& entry :
             std::filesystem::directory_iterator(m_Folder.Path() + "LogFiles", missing)) {
            all += m_Folder.Read("LogFiles/" + entry.path().filename().string());
        }
        return all;
    }
    bool LogShows(const std::string& text) const {
        return WaitFor([&] { return Log().find(text) != std::string::npos; });
    }

    TempFolder m_Folder;
};

const char* const kStarting = "Tellwick for Zorvan is starting, version 1.0.08\r\n";

TEST_F(GatewayE2eTest, StartLinesThenTheStopLineWithTheSignalsReason) {
    const struct {
        int m_Signal;
        const char* m_Line;
    } rows[] = {
        {SIGINT, "ESPA Server is stopping, reason 0\r\n"},
        {SIGTERM, "ESPA Server is stopping, reason 3\r\n"},
    };
    for (const auto& row : rows) {
        std::filesystem::remove_all(m_Folder.Path() + "LogFiles");
        m_Folder.Write("Tellwick.ini",
                       "[General]\nZorvanPort=" + std::to_string(FreePort()) + "\n");
        auto gateway = Run({});
        ASSERT_TRUE(LogShows(kStarting)) << Log();
        const std::string log = Log();
        EXPECT_EQ(log.substr(0, 82), std::string(80, '-') + "\r\n");
        EXPECT_EQ(log.substr(82 + 18), kStarting);  // after the "YY-MM-DD HH:NN:SS " stamp
        gateway->Signal(row.m_Signal);
        EXPECT_EQ(gateway->WaitForExit(), 0);
        EXPECT_TRUE(Log().ends_with(row.m_Line)) << Log();
    }
}

TEST_F(GatewayE2eTest, CallIsAcknowledgedAndArrivesAtTheAlarmServer) {
    const int zorvanPort = FreePort();
    const int listenPort = FreePort();
    m_Folder.Write("Tellwick.ini", "[General]\nZorvanPort=" + std::to_string(zorvanPort) +
                                       "\nESPACategory=Nurse\n[ESPA_Port_0]\nDescription=Ward 3\n"
                                       "PortType=TCPS\nListenPort=" +
                                       std::to_string(listenPort) + "\n");
    auto gateway = Run({});
    RawSocket alarmServer;
    ASSERT_TRUE(alarmServer.Connect(zorvanPort));
    ASSERT_TRUE(LogShows("Accepted Zorvan connection from 127.0.0.1:"));
    RawSocket partner;
    ASSERT_TRUE(partner.Connect(listenPort));
    const std::string block =
        "1\x02"
        "1\x1f"
        "123\x1e"
        "2\x1fHELLO\x03";
    ASSERT_TRUE(partner.Send("1\x05\x01" + block + BlockCheck(block) + "\x04"));
    EXPECT_EQ(partner.Receive("\x06\x04"), "\x06\x04");  // ACK, then EOT
    EXPECT_EQ(alarmServer.Receive("1|||Ward 3||Nurse||HELLO|\n"), "1|||Ward 3||Nurse||HELLO|\n");
    gateway->Signal(SIGTERM);
    EXPECT_EQ(gateway->WaitForExit(), 0);
}

TEST_F(GatewayE2eTest, ASecondGatewayOnTheSameFolderRefusesToStart) {
    m_Folder.Write("Tellwick.ini", "[General]\nZorvanPort=" + std::to_string(FreePort()) + "\n");
    auto first = Run({});
    ASSERT_TRUE(LogShows(kStarting));
    auto second = Run({}, "second.txt");
    EXPECT_EQ(second->WaitForExit(), 1);
    EXPECT_EQ(m_Folder.Read("second.txt"),
              "Tellwick for Zorvan Alarm Server is already started!\n");
    first->Signal(SIGINT);
    EXPECT_EQ(first->WaitForExit(), 0);
}

TEST_F(GatewayE2eTest, InstallWritesTheUnitAndUninstallRemovesIt) {
    const std::string units = m_Folder.Path() + "units/";
    EXPECT_EQ(Run({"/I"})->WaitForExit(), 0);
    EXPECT_EQ(m_Folder.Read("output.txt"), "Tellwick for Zorvan service installation succeeded\n");
    const std::string unit = m_Folder.Read("units/tellwickforzorvan.service");
    EXPECT_NE(unit.find("Description=Tellwick for Zorvan\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("Type=notify\n"), std::string::npos);
    EXPECT_NE(unit.find(std::string("ExecStart=\"") + TW_GATEWAY_BINARY + "\" --app-folder \"" +
                        m_Folder.Path() + "\"\n"),
              std::string::npos)
        << unit;
    EXPECT_NE(unit.find("WantedBy=multi-user.target\n"), std::string::npos);
    EXPECT_NE(m_Folder.Read("units/tellwickforzorvan.parameters").find("RunAsService=1"),
              std::string::npos);

    EXPECT_EQ(Run({"--uninstall"})->WaitForExit(), 0);
    EXPECT_EQ(m_Folder.Read("output.txt"),
              "Tellwick for Zorvan service uninstalled successfully\n");
    EXPECT_FALSE(m_Folder.Exists("units/tellwickforzorvan.service"));
    EXPECT_NE(m_Folder.Read("units/tellwickforzorvan.parameters").find("RunAsService=0"),
              std::string::npos);

    EXPECT_EQ(Run({"/u"})->WaitForExit(), 1);
    EXPECT_EQ(m_Folder.Read("output.txt"), "Tellwick for Zorvan failed to uninstall as service\n");
}

TEST_F(GatewayE2eTest, AnUnknownOptionIsRefusedWithUsage) {
    EXPECT_EQ(Run({"--colour"})->WaitForExit(), 2);
    EXPECT_EQ(m_Folder.Read("output.txt").rfind("tellwick: unknown option: --colour\n", 0), 0U);
}

}  // namespace
}  // namespace tw::test
