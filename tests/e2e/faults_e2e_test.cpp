// Faults and load against the built gateway program: hostile and broken
// partners, an alarm server that goes away, a file in place of the log folder,
// a serial line that vanishes and a hostile configuration file. Each test is
// bounded in volume and time; the figures it measured are printed as
// "[figure]" lines. TW_FLOOD_MB sets the garbage volume of the flood test
// (default 8; tools/faults.sh runs 100 on a release build), TW_STORM the
// connect-and-reset storm (default 2000; tools/faults.sh runs 10,000, which
// the debug build with its sanitizers accepts too slowly).
#include <netinet/tcp.h>

#include <atomic>
#include <random>

#include "core/alarmjournal.h"
#include "e2e/gatewayprocess.h"
#include "support/pseudoterminal.h"

namespace tw::test {
namespace {

using FaultsE2eTest = GatewayE2eTest;

size_t FloodMegabytes() {
    const char* setting = std::getenv("TW_FLOOD_MB");
    return setting != nullptr ? std::strtoul(setting, nullptr, 10) : 8;
}

TEST_F(FaultsE2eTest, GarbageFloodLeavesOtherPortsAnsweringMemoryBoundedAndPortBackAfterTimeout) {
    const int floodPort = FreePort();
    const int otherPort = FreePort();
    auto gateway = StartLean(GeneralSection(FreePort()) + TcpServerSection(0, floodPort) +
                                 TcpServerSection(1, otherPort),
                             otherPort);
    ASSERT_TRUE(CallIsAnswered(floodPort, "READY"));
    const long baselineKiB = gateway->ResidentKiB();

    RawSocket flooder;
    ASSERT_TRUE(flooder.Connect(floodPort));
    const timeval sendLimit{5, 0};
    setsockopt(flooder.Descriptor(), SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
    const size_t total = FloodMegabytes() * 1024 * 1024;
    std::atomic<size_t> sent{0};
    std::atomic<bool> done{false};
    const auto floodStart = SteadyClock::now();
    std::thread flood([&] {
        std::mt19937 random(9);
        std::string chunk(size_t{64} * 1024, '\0');
        for (char& byte : chunk) {
            byte = static_cast<char>(random());
        }
        const auto deadline = SteadyClock::now() + std::chrono::seconds(120);
        while (sent < total && SteadyClock::now() < deadline) {
            const ssize_t written =
                send(flooder.Descriptor(), chunk.data(), chunk.size(), MSG_NOSIGNAL);
            if (written <= 0) {
                break;
            }
            sent += static_cast<size_t>(written);
        }
        done = true;
    });
    int answered = 0;
    int unanswered = 0;
    long peakKiB = baselineKiB;
    double slowestMs = 0;
    while (!done) {
        const auto callStart = SteadyClock::now();
        (CallIsAnswered(otherPort, "DURING FLOOD") ? answered : unanswered) += 1;
        slowestMs = std::max(
            slowestMs,
            std::chrono::duration<double, std::milli>(SteadyClock::now() - callStart).count());
        peakKiB = std::max(peakKiB, gateway->ResidentKiB());
    }
    flood.join();
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - floodStart).count();
    EXPECT_EQ(sent, total);
    EXPECT_GT(answered, 0);
    EXPECT_EQ(unanswered, 0);
    // The port's input never holds more than 64 KiB; what else grows is the
    // platform's buffers, bounded too. 32 MiB is far above that and far below the flood.
    EXPECT_LT(peakKiB - baselineKiB, 32 * 1024);
    Figure("flood: " + std::to_string(sent / (size_t{1024} * 1024)) + " MiB garbage in " +
           std::to_string(seconds) + " s; other port answered " + std::to_string(answered) +
           " calls, " + std::to_string(unanswered) + " unanswered, slowest " +
           std::to_string(slowestMs) + " ms; VmRSS " + std::to_string(baselineKiB) + " -> peak " +
           std::to_string(peakKiB) + " KiB");

    // Once the partner is silent for the ESPA timeout, its half-received
    // garbage is discarded and the same connection carries calls again. What
    // the gateway has not read yet is still ahead of the call, so the call is
    // repeated after each timeout as a station does.
    int attempts = 0;
    EXPECT_TRUE(WaitFor(
        [&] {
            std::this_thread::sleep_for(milliseconds(1200));
            flooder.ReadAvailable();
            flooder.ForgetReceived();
            ++attempts;
            return flooder.Send(CallDialogue("123", "AFTER FLOOD")) &&
                   flooder.Receive(kCallAnswer, 1000) == kCallAnswer;
        },
        30000));
    Figure("flood: the flooding partner's call answered at attempt " + std::to_string(attempts));
    EXPECT_NE(Log().find("ESPA communication (0) failed"), std::string::npos);
    Stop(std::move(gateway));
}

// Connections opened and dropped as fast as the port takes them, every
// second one or every one with a reset: each is accepted, the event log gets
// a few lines for the port with known addresses, and the port answers a call.
TEST_F(FaultsE2eTest, ConnectStormsLeaveThePortAnsweringAndWriteAFewLinesWithKnownAddresses) {
    const char* storm = std::getenv("TW_STORM");
    const struct {
        const char* m_Storm;
        int m_Loops;
        int m_ResetEvery;  // the others are closed orderly
    } rows[] = {
        {"connect/disconnect", 500, 2},
        {"connect-and-reset", storm != nullptr ? std::atoi(storm) : 2000, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.m_Storm);
        const int listenPort = FreePort();
        auto gateway =
            Start(GeneralSection(FreePort()) + TcpServerSection(0, listenPort), listenPort);
        const size_t before = Log().size();
        int connected = 0;
        const auto start = SteadyClock::now();
        for (int loop = 1; loop <= row.m_Loops; ++loop) {
            RawSocket partner;
            connected += partner.Connect(listenPort, 1000) ? 1 : 0;
            if (loop % row.m_ResetEvery == 0) {
                partner.Reset();
            }
        }
        const double seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
        std::this_thread::sleep_for(milliseconds(500));
        const std::string grown = Log().substr(before);
        const size_t lines = CountOf(grown, "Connection (0)");
        EXPECT_EQ(connected, row.m_Loops);
        EXPECT_LE(lines, 12U) << grown;
        EXPECT_EQ(grown.find(":0\r"), std::string::npos) << grown;
        EXPECT_EQ(grown.find(" :"), std::string::npos) << grown;
        EXPECT_TRUE(CallIsAnswered(listenPort, "AFTER STORM")) << Log().substr(before, 2000);
        Figure(std::string(row.m_Storm) + ": " + std::to_string(connected) + " connections in " +
               std::to_string(seconds) + " s; event log grew by " + std::to_string(grown.size()) +
               " bytes, " + std::to_string(lines) + " lines for the port; then a call answered");
        Stop(std::move(gateway));
    }
}

TEST_F(FaultsE2eTest, BrokenPartnersLeaveThePortAnsweringTheNextOne) {
    const int listenPort = FreePort();
    auto gateway = Start(GeneralSection(FreePort(), "CloseESPAPortIfCommunicationFails=1\n") +
                             TcpServerSection(0, listenPort),
                         listenPort);
    const std::string whole = CallDialogue("123", "HALF");
    const struct {
        const char* m_Fault;
        std::string m_Sent;  // before the partner stops
        bool m_Reset;        // vanishes with a reset instead of an orderly close
        bool m_StaysOpen;    // stays connected, silent (half-open)
    } rows[] = {
        {"connect, never send", "", false, true},
        {"selection only, then silent", "1\x05", false, true},
        {"half a block, then silent", whole.substr(0, 12), false, true},
        {"half a block, then close", whole.substr(0, 12), false, false},
        {"half a block, then reset", whole.substr(0, 12), true, false},
        {"block without its check character, then close", whole.substr(0, whole.size() - 2), false,
         false},
        {"selection, then close", "1\x05", false, false},
    };
    int survived = 0;
    for (const auto& row : rows) {
        {
            RawSocket partner;
            ASSERT_TRUE(partner.Connect(listenPort));
            ASSERT_TRUE(partner.Send(row.m_Sent));
            if (row.m_StaysOpen) {
                // Held open past the ESPA timeout: the gateway closes it.
                EXPECT_TRUE(WaitFor([&] { return partner.PeerClosed(); })) << row.m_Fault;
            } else if (row.m_Reset) {
                partner.Reset();
            }
        }
        const bool answered = CallIsAnswered(listenPort, "AFTER FAULT");
        EXPECT_TRUE(answered) << row.m_Fault << "\n" << Log();
        survived += answered ? 1 : 0;
    }
    Figure("broken partners: " + std::to_string(survived) + " of " +
           std::to_string(std::size(rows)) + " faults survived, each followed by an answered call");
    Stop(std::move(gateway));
}

// Connects to port and waits until the gateway has taken the connection (a
// poll is answered with EOT), trying again while it still refuses it.
bool ConnectTaken(RawSocket& partner, int port) {
    return WaitFor([&] {
        partner.ForgetReceived();
        const int on = 1;  // a lone byte must not wait for the gateway's delayed ACK
        return partner.Connect(port, 500) &&
               setsockopt(partner.Descriptor(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0 &&
               partner.Send("2\x05") && partner.Receive("\x04", 500) == "\x04";
    });
}

// Partners out of step: one that opens with a bare ENQ, one that sends a
// block again after a NAK without its SOH and check character. With
// ResyncOnUnrecognisedInput their next call is answered at once; without it
// the port stays deaf until the ESPA timeout, as it always did.
TEST_F(FaultsE2eTest, APartnerOutOfStepIsAnsweredAtOnceOnlyWhenThePortResynchronises) {
    const int resyncPort = FreePort();
    const int plainPort = FreePort();
    auto gateway = Start(GeneralSection(FreePort()) +
                             TcpServerSection(0, resyncPort, "ResyncOnUnrecognisedInput=1\n") +
                             TcpServerSection(1, plainPort),
                         resyncPort);
    const std::string data = "1\037123\0362\037LOST";  // records 1 and 2, US and RS
    const std::string checked = "1\x02" + data + "\x03";
    const char wrongCheck = static_cast<char>(BlockCheck(checked).front() ^ 0x40);
    const struct {
        const char* m_Fault;
        std::string m_Sent;
        std::string m_Answer;
        std::string m_Then;
    } rows[] = {
        {"bare ENQ", "\x05", "", ""},
        {"block again without SOH and check after a NAK", "1\x05\x01" + checked + wrongCheck,
         "\x15", "\x02" + data + "\x03"},
    };
    double slowestMs = 0;
    for (const auto& row : rows) {
        for (const int port : {resyncPort, plainPort}) {
            SCOPED_TRACE(std::string(row.m_Fault) + (port == resyncPort ? ", resync" : ", plain"));
            RawSocket partner;
            ASSERT_TRUE(ConnectTaken(partner, port));
            partner.ForgetReceived();
            ASSERT_TRUE(partner.Send(row.m_Sent));
            ASSERT_EQ(partner.Receive(row.m_Answer, 1000), row.m_Answer);
            partner.ForgetReceived();
            const auto sent = SteadyClock::now();
            ASSERT_TRUE(partner.Send(row.m_Then + CallDialogue("123", "NEXT")));
            if (port == resyncPort) {
                EXPECT_EQ(partner.Receive(kCallAnswer, 1000), kCallAnswer);
                const double ms =
                    std::chrono::duration<double, std::milli>(SteadyClock::now() - sent).count();
                EXPECT_LT(ms, 100);
                slowestMs = std::max(slowestMs, ms);
            } else {
                std::this_thread::sleep_for(milliseconds(300));
                EXPECT_EQ(partner.ReadAvailable(), "");
            }
        }
    }
    EXPECT_EQ(CountOf(Log(), "ESPA communication (0) out of step, unrecognised input discarded"),
              2U);
    Figure("partners out of step: the next call answered within " + std::to_string(slowestMs) +
           " ms with ResyncOnUnrecognisedInput=1, not within 300 ms without");
    Stop(std::move(gateway));
}

TEST_F(FaultsE2eTest, AlarmsWhileTheAlarmServerIsAwayArriveOnceInOrderUpToTheBound) {
    const int zorvanPort = FreePort();
    const int listenPort = FreePort();
    auto gateway = Start(GeneralSection(zorvanPort) + TcpServerSection(0, listenPort), listenPort);
    RawSocket alarmServer;
    ASSERT_TRUE(alarmServer.Connect(zorvanPort));
    ASSERT_TRUE(LogShows("Accepted Zorvan connection from 127.0.0.1:"));
    alarmServer.ReceiveLines(1);  // the READY call's alarm, buffered before
    std::this_thread::sleep_for(milliseconds(200));
    alarmServer.Close();
    alarmServer.ForgetReceived();
    ASSERT_TRUE(LogShows("Zorvan connection was closed"));

    constexpr int kCalls = 250;
    RawSocket partner;
    ASSERT_TRUE(partner.Connect(listenPort));
    int acknowledged = 0;
    for (int call = 1; call <= kCalls; ++call) {
        partner.ForgetReceived();
        ASSERT_TRUE(partner.Send(CallDialogue("123", Numbered(call))));
        acknowledged += partner.Receive(kCallAnswer) == kCallAnswer ? 1 : 0;
    }
    EXPECT_EQ(acknowledged, kCalls);
    EXPECT_TRUE(
        LogShows("Alarm buffer is full (200 alarms), new alarms are dropped until it has "
                 "room again"));

    ASSERT_TRUE(alarmServer.Connect(zorvanPort));
    std::string expected;
    for (int call = 1; call <= 200; ++call) {
        expected += AlarmLine("Ward 0", Numbered(call));
    }
    const std::string received = alarmServer.ReceiveLines(200, 20000);
    EXPECT_EQ(received, expected);
    std::this_thread::sleep_for(milliseconds(300));  // nothing may follow
    EXPECT_EQ(alarmServer.ReadAvailable(), expected);
    EXPECT_TRUE(
        LogShows("Alarm buffer has room again, 50 alarm(s) were dropped while it was full"));
    EXPECT_FALSE(m_Folder.Exists(kAlarmJournalFileName));  // PersistAlarmBuffer is off

    Figure("alarm server away: " + std::to_string(kCalls) + " calls acknowledged, " +
           std::to_string(CountOf(received, "\n")) + " alarms delivered after reconnection, " +
           std::to_string(kCalls - 200) + " dropped beyond the bound of 200 and logged");

    // A call now goes straight through again.
    partner.Close();
    alarmServer.ForgetReceived();
    ASSERT_TRUE(CallIsAnswered(listenPort, "BACK"));
    EXPECT_EQ(alarmServer.ReceiveLines(1), AlarmLine("Ward 0", "BACK"));
    Stop(std::move(gateway));
}

TEST_F(FaultsE2eTest, CallsAreAnsweredAndPassedOnWhileTheLogFolderCannotBeWritten) {
    const int zorvanPort = FreePort();
    const int listenPort = FreePort();
    auto gateway = Start(
        GeneralSection(zorvanPort, "CommDebug=1\n") + TcpServerSection(0, listenPort), listenPort);
    RawSocket alarmServer;
    ASSERT_TRUE(alarmServer.Connect(zorvanPort));
    alarmServer.ReceiveLines(1);
    std::this_thread::sleep_for(milliseconds(200));
    alarmServer.ForgetReceived();
    // Root ignores permission bits, so the folder is taken away: a plain file
    // stands in its place (the freshness tests remove it).
    const std::string logFiles = m_Folder.Path() + "LogFiles";
    std::filesystem::remove_all(logFiles);
    m_Folder.Write("LogFiles", "not a folder");
    EXPECT_TRUE(CallIsAnswered(listenPort, "NO LOG"));
    EXPECT_EQ(alarmServer.ReceiveLines(1), AlarmLine("Ward 0", "NO LOG"));
    EXPECT_FALSE(gateway->HasEnded());
    std::filesystem::remove(logFiles);
    std::filesystem::create_directory(logFiles);
    EXPECT_TRUE(CallIsAnswered(listenPort, "LOG BACK"));
    EXPECT_TRUE(LogShows("Connection (0) accepted from 127.0.0.1:")) << "the log resumes";
    Figure("log folder: a file in its place, the call answered and passed on, the log resumed");
    Stop(std::move(gateway));
}

// What the line carried until it ended with expected (or the wait ran out).
std::string ReceiveOn(const PseudoTerminal& line, const std::string& expected) {
    std::string received;
    WaitFor([&] {
        received += line.ReadWaiting();
        return received == expected;
    });
    return received;
}

TEST_F(FaultsE2eTest, SerialLineThatDisappearsIsReportedAndReopenedWhenItComesBack) {
    const std::string line = m_Folder.Path() + "line";
    auto first = std::make_unique<PseudoTerminal>();
    ASSERT_FALSE(first->m_SlaveName.empty());
    std::filesystem::create_symlink(first->m_SlaveName, line);
    m_Folder.Write("Tellwick.ini", GeneralSection(FreePort()) +
                                       "[ESPA_Port_0]\nDescription=Line\nPortType=COM\n"
                                       "ComSetting=COM1,9600,N,8,1,0\nComDevice=" +
                                       line + "\n");
    auto gateway = Run({});
    ASSERT_TRUE(LogShows("Opened (0) port COM1", 10000)) << Log();
    ASSERT_TRUE(first->Write(CallDialogue("123", "FIRST LINE")));
    EXPECT_EQ(ReceiveOn(*first, kCallAnswer), kCallAnswer);

    // The device goes away: its master closes and its name is gone.
    std::filesystem::remove(line);
    first->Close();
    EXPECT_TRUE(LogShows("Bad server/client configuration for port 0")) << Log();

    PseudoTerminal second;
    std::filesystem::create_symlink(second.m_SlaveName, line);
    EXPECT_TRUE(WaitFor([&] { return CountOf(Log(), "Opened (0) port COM1") == 2; })) << Log();
    ASSERT_TRUE(second.Write(CallDialogue("123", "SECOND LINE")));
    EXPECT_EQ(ReceiveOn(second, kCallAnswer), kCallAnswer);
    Figure("serial line: lost, reported and reopened on its new device");
    Stop(std::move(gateway));
}

struct HostileIni {
    const char* m_Input;
    std::string m_Ini;
    std::optional<int> m_Exit;  // nullopt: starts and runs
    std::string m_Shown;        // in the event log (and stderr when it stops)
};

class HostileIniTest : public FaultsE2eTest {
  protected:
    // Each input on a fresh log: the gateway either stops with the expected
    // status and says why, or runs until SIGTERM; never a crash or sanitizer
    // report. Returns how many were handled so.
    int TryEach(const std::vector<HostileIni>& rows) {
        int handled = 0;
        for (const HostileIni& row : rows) {
            std::filesystem::remove_all(m_Folder.Path() + "LogFiles");
            m_Folder.Write("Tellwick.ini", row.m_Ini);
            auto gateway = Run({});
            std::optional<int> exit;
            if (row.m_Exit) {
                exit = gateway->WaitForExit(10000);
            } else {
                EXPECT_TRUE(LogShows(row.m_Shown, 15000)) << row.m_Input << "\n" << Log();
                EXPECT_FALSE(gateway->HasEnded()) << row.m_Input;
                gateway->Signal(SIGTERM);
                exit = gateway->WaitForExit(10000);
            }
            const std::string output = m_Folder.Read("output.txt");
            EXPECT_EQ(exit, row.m_Exit.value_or(0)) << row.m_Input << "\n" << output << Log();
            EXPECT_NE(Log().find(row.m_Shown), std::string::npos) << row.m_Input << "\n" << Log();
            if (row.m_Exit) {
                EXPECT_NE(output.find(row.m_Shown), std::string::npos) << row.m_Input << "\n"
                                                                       << output;
            }
            EXPECT_EQ(output.find("Sanitizer"), std::string::npos) << output;
            EXPECT_EQ(output.find("runtime error"), std::string::npos) << output;
            handled += exit == row.m_Exit.value_or(0) ? 1 : 0;
        }
        Figure("hostile configuration: " + std::to_string(handled) + " of " +
               std::to_string(rows.size()) + " bad inputs handled (reported, no crash)");
        return handled;
    }
    const std::string m_Zorvan = "ZorvanPort=" + std::to_string(FreePort()) + "\n";
    const std::string m_Port = TcpServerSection(0, FreePort());
};

TEST_F(HostileIniTest, HugeValuesLongLinesBinaryAndNulsAreReportedWithoutACrash) {
    std::string binary(size_t{64} * 1024, '\0');
    std::mt19937 random(4);
    for (char& byte : binary) {
        byte = static_cast<char>(random());
    }
    const std::string nul(1, '\0');
    const std::string megabyte(size_t{1024} * 1024, 'x');
    const std::vector<HostileIni> rows = {
        {"huge ZorvanPort", "[General]\nZorvanPort=99999999999999999999999\n", 1, "ZorvanPort"},
        {"huge ESPATimeout", "[General]\n" + m_Zorvan + "ESPATimeout=1e300\n", 1, "ESPATimeout"},
        {"huge ReconnectInterval",
         "[General]\n" + m_Zorvan + "ReconnectInterval=" + std::string(400, '9') + "\n", 1,
         "ReconnectInterval"},
        {"negative and huge port values",
         "[General]\n" + m_Zorvan + m_Port +
             "ListenPort=-99999999999\nPollFailTimeout=" + std::string(50, '9') + "\n",
         std::nullopt, "ESPA_Port_0"},
        {"lines without \"=\"",
         "[General]\n" + m_Zorvan + "ESPATimeout\nnonsense line\n[\n]\n=\n" + m_Port + "PortType\n",
         std::nullopt, "Tellwick for Zorvan is starting"},
        {"binary bytes", "[General]\n" + m_Zorvan + "[Junk]\n" + binary + "\n", std::nullopt,
         "Tellwick for Zorvan is starting"},
        {"NULs in keys and values",
         "[General]\n" + m_Zorvan + "ESPA" + nul + "Timeout=5\nESPACategory=a" + nul + nul + "b\n" +
             m_Port + "Description=" + nul + "\n",
         std::nullopt, "Set (0) in listen mode"},
        {"empty file", "", std::nullopt, "Tellwick for Zorvan is starting"},
        {"1 MB lines",
         "[General]\n" + m_Zorvan + megabyte + "\n" + m_Port + "Description=" + megabyte + "\n",
         std::nullopt, "Set (0) in listen mode"},
    };
    EXPECT_EQ(TryEach(rows), static_cast<int>(rows.size()));
}

}  // namespace
}  // namespace tw::test
