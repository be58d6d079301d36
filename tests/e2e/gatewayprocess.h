// Helpers of the end-to-end tests: the built gateway program started as a
// process of its own on a temporary folder, headless, reached over loopback
// sockets, stopped by signals. Every wait is bounded; a gateway still running
// when its GatewayProcess goes is killed.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/dialogue.h"
#include "support/loopback.h"
#include "support/process.h"
#include "support/tempfolder.h"

namespace tw::test {

// One run of the gateway program.
class GatewayProcess : public ChildProcess {
  public:
    GatewayProcess(const std::vector<std::string>& arguments, const std::string& outputFile,
                   rlim_t fileSizeLimit = 0)
        : ChildProcess(TW_GATEWAY_BINARY, arguments, outputFile, fileSizeLimit) {}

    // Whether a shared object whose path holds name is mapped into the process.
    bool HasLoaded(const std::string& name) const { return !ProcLine("maps", name).empty(); }
    // The resident memory in KiB (VmRSS of /proc), 0 when unknown.
    long ResidentKiB() const {
        const std::string line = ProcLine("status", "VmRSS:");
        return line.empty() ? 0 : std::strtol(line.c_str() + 6, nullptr, 10);
    }

  private:
    // The first line of /proc/<pid>/<file> that holds text, "" when none does.
    std::string ProcLine(const std::string& file, const std::string& text) const {
        std::ifstream lines("/proc/" + std::to_string(m_Pid) + "/" + file);
        for (std::string line; std::getline(lines, line);) {
            if (line.find(text) != std::string::npos) {
                return line;
            }
        }
        return "";
    }
};

// The [General] section most tests share: the TCP route to the alarm
// server, no watchdog line, one second between reopen attempts, one second
// ESPA timeout.
inline std::string GeneralSection(int zorvanPort, const std::string& extra = "") {
    return "[General]\nZorvanPort=" + std::to_string(zorvanPort) +
           "\nZorvanConnectionMethod=2\nWatchDogTagName=\nReconnectInterval=1\nESPATimeout=1\n"
           "ESPACategory=Nurse\nBufferIfZorvanNotConnected=1\n" +
           extra;
}

// A TCP server port section for ESPA port number port, described "Ward <port>".
inline std::string TcpServerSection(int port, int listenPort, const std::string& extra = "") {
    return "[ESPA_Port_" + std::to_string(port) + "]\nDescription=Ward " + std::to_string(port) +
           "\nPortType=TCPS\nListenPort=" + std::to_string(listenPort) + "\n" + extra;
}

// The alarm line of a CallDialogue on the port with that description.
inline std::string AlarmLine(const std::string& description, const std::string& text) {
    return "1|||" + description + "||Nurse||" + text + "|\n";
}

// The text of call number: "CALL 00042".
inline std::string Numbered(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "CALL %05d", number);
    return text;
}

// A measured figure, printed as a "[figure]" line.
inline void Figure(const std::string& text) {
    std::printf("[figure] %s\n", text.c_str());
    std::fflush(stdout);
}

// The name of today's event log in LogFiles.
inline std::string TodaysLogName() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char name[32];
    std::strftime(name, sizeof name, "%Y%m%d.Log", &parts);
    return name;
}

inline size_t CountOf(const std::string& haystack, const std::string& needle) {
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

class GatewayE2eTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(m_Folder.Path() + "units");
        setenv("TELLWICK_UNIT_DIR", (m_Folder.Path() + "units").c_str(), 1);
        unsetenv("NOTIFY_SOCKET");
    }
    void TearDown() override {
        unsetenv("TELLWICK_UNIT_DIR");
        unsetenv("QT_QPA_PLATFORM");
    }

    std::unique_ptr<GatewayProcess> Run(std::vector<std::string> arguments,
                                        const std::string& outputName = "output.txt",
                                        rlim_t fileSizeLimit = 0) {
        arguments.insert(arguments.begin(), {"--app-folder", m_Folder.Path(), "--headless"});
        return std::make_unique<GatewayProcess>(arguments, m_Folder.Path() + outputName,
                                                fileSizeLimit);
    }

    std::string Log() const { return m_Folder.EventLogs(); }
    bool LogShows(const std::string& text, int timeoutMs = 10000) const {
        return WaitFor([&] { return Log().find(text) != std::string::npos; }, timeoutMs);
    }

    // A fresh connection to port carries one call that is answered ACK, EOT
    // within timeoutMs; sent again only while the gateway does not listen yet
    // or closes the connection (its former partner's close not yet seen).
    bool CallIsAnswered(int port, const std::string& text, int timeoutMs = 10000) {
        RawSocket partner;
        bool sent = false;
        return WaitFor(
            [&] {
                if (partner.ReadAvailable() == kCallAnswer) {
                    return true;
                }
                if (!sent || partner.PeerClosed()) {
                    partner.ForgetReceived();
                    sent = partner.Connect(port, 0) && partner.Send(CallDialogue("123", text));
                }
                return false;
            },
            timeoutMs);
    }

    // Starts the gateway on ini and waits until port answers a call.
    std::unique_ptr<GatewayProcess> Start(const std::string& ini, int port) {
        m_Folder.Write("Tellwick.ini", ini);
        auto gateway = Run({});
        EXPECT_TRUE(CallIsAnswered(port, "READY")) << Log();
        return gateway;
    }
    // Start with AddressSanitizer holding back little freed memory (256 MB by
    // default), which would hide what the gateway itself keeps.
    std::unique_ptr<GatewayProcess> StartLean(const std::string& ini, int port) {
        const char* sanitizer = std::getenv("ASAN_OPTIONS");
        const std::string before = sanitizer != nullptr ? sanitizer : "";
        setenv("ASAN_OPTIONS", (before + ":quarantine_size_mb=4").c_str(), 1);
        auto gateway = Start(ini, port);
        setenv("ASAN_OPTIONS", before.c_str(), 1);
        return gateway;
    }
    // SIGTERM ends the gateway orderly with status 0.
    void Stop(std::unique_ptr<GatewayProcess> gateway) {
        gateway->Signal(SIGTERM);
        EXPECT_EQ(gateway->WaitForExit(), 0) << m_Folder.Read("output.txt");
    }

    TempFolder m_Folder;
};

}  // namespace tw::test
