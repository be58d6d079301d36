// Runs the built tools as processes against in-test partners on loopback.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <string>
#include <vector>

#include "espawire.h"
#include "net.h"
#include "support/process.h"
#include "support/tempfolder.h"

namespace tw::tools {
namespace {

constexpr int BoundMs = 10000;  // no run may take longer than this

// Answers as station 2 until the station closes the connection: "1" ENQ
// selects, "2" ENQ gets ACK (selected) or the poll answer, a good block gets
// ACK and queues a status block "3", a bad one NAK, EOT gets EOT.
void ServeLikeGateway(int fd) {
    std::string buffer;
    std::deque<std::string> queue;
    bool selected = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(BoundMs);
    char chunk[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        if (WaitReadable(fd, 100) != WaitResult::Ready) {
            continue;
        }
        ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count <= 0) {
            return;
        }
        buffer.append(chunk, static_cast<std::size_t>(count));
        std::string reply;
        while (std::optional<Element> element = TakeElement(buffer)) {
            if (element->m_Kind == ElementKind::Enq && element->m_Address == '1') {
                selected = true;
            } else if (element->m_Kind == ElementKind::Enq) {
                reply +=
                    selected ? std::string(1, ACK) : std::string(queue.empty() ? "\x04" : "1\x05");
            } else if (element->m_Kind == ElementKind::Block) {
                reply += element->m_CheckOk ? ACK : NAK;
                if (element->m_CheckOk) {
                    queue.push_back(BuildBlock('2', element->m_Data + RS + "7" + US + "3"));
                }
            } else if (element->m_Kind == ElementKind::Eot && selected) {
                selected = false;
                reply += EOT;
            } else if (element->m_Kind == ElementKind::Ack) {
                reply += queue.empty() ? std::string(1, EOT) : queue.front();
                if (!queue.empty()) {
                    queue.pop_front();
                }
            }
        }
        WriteAll(fd, reply);
    }
}

struct StationRun {
    int m_ExitCode;
    std::string m_Output;
};

// Runs espa-station against a listener on loopback served by partner.
template <typename Partner>
StationRun RunStationAgainst(std::vector<std::string> arguments, Partner partner) {
    Opened listener = ListenTcp({"127.0.0.1", 0});
    EXPECT_TRUE(listener.m_Fd.IsOpen()) << listener.m_Error;
    arguments.insert(arguments.begin(),
                     {"--connect", "127.0.0.1:" + std::to_string(LocalPort(listener.m_Fd.Get()))});
    test::TempFolder folder;
    test::ChildProcess station(ESPA_STATION_PATH, arguments, folder.Path() + "output.txt");
    Opened accepted = AcceptTcp(listener.m_Fd.Get(), BoundMs, nullptr);
    if (accepted.m_Fd.IsOpen()) {
        partner(accepted.m_Fd.Get());
    }
    const int exitCode = station.WaitForExit(BoundMs).value_or(-1);
    return {exitCode, folder.Read("output.txt")};
}

TEST(EspaStationRun, CallIsAckedAndItsStatusBlockFetchedAndDecoded) {
    StationRun run =
        RunStationAgainst({"--address", "123", "--text", "HELLO", "--json", "--timeout-ms", "8000"},
                          ServeLikeGateway);
    EXPECT_EQ(run.m_ExitCode, 0) << run.m_Output;
    EXPECT_NE(run.m_Output.find(R"("event":"select","reply":"ACK")"), std::string::npos);
    EXPECT_NE(run.m_Output.find(R"("event":"block","n":1,"reply":"ACK")"), std::string::npos);
    EXPECT_NE(run.m_Output.find(R"("event":"end","reply":"EOT")"), std::string::npos);
    EXPECT_NE(
        run.m_Output.find(
            R"("status":"3","status_text":"paged","call_address":"123","text":"HELLO","check_ok":true)"),
        std::string::npos)
        << run.m_Output;
    EXPECT_NE(
        run.m_Output.find(R"("event":"summary","blocks":1,"ack":1,"nak":0,"status_blocks":1)"),
        std::string::npos);
}

TEST(AlarmSinkRun, LinesAreDecodedAcrossAReconnectUntilTheCountIsReached) {
    Opened listener = ListenTcp({"127.0.0.1", 0});
    ASSERT_TRUE(listener.m_Fd.IsOpen());
    std::string port = std::to_string(LocalPort(listener.m_Fd.Get()));
    test::TempFolder folder;
    test::ChildProcess sink(
        ALARM_SINK_PATH,
        {"--connect", "127.0.0.1:" + port, "--json", "--count", "2", "--timeout-ms", "8000"},
        folder.Path() + "output.txt");
    {
        Opened first = AcceptTcp(listener.m_Fd.Get(), BoundMs, nullptr);
        ASSERT_TRUE(first.m_Fd.IsOpen());
        WriteAll(first.m_Fd.Get(), "1|||Ward 3||ESPA||Room 12 \xC4rzte|\n1|||WD\n\n");
    }
    Opened second = AcceptTcp(listener.m_Fd.Get(), BoundMs, nullptr);
    ASSERT_TRUE(second.m_Fd.IsOpen());
    WriteAll(second.m_Fd.Get(), "0|||Ward 3||Poll||restored|\n");
    second.m_Fd.Close();
    EXPECT_EQ(sink.WaitForExit(BoundMs), 0) << folder.Read("output.txt");
    const std::string out = folder.Read("output.txt");
    EXPECT_NE(
        out.find(
            R"("kind":"alarm","state":1,"state_text":"raised","T0":"Ward 3","T1":"","T2":"ESPA","T3":"","T4":"Room 12 )"
            "\xC3\x84rzte\""),
        std::string::npos)
        << out;
    EXPECT_NE(out.find(R"("kind":"watchdog","state":1,"tag":"WD")"), std::string::npos);
    EXPECT_EQ(out.find(R"("kind":"empty")"), std::string::npos);
    EXPECT_NE(out.find(R"("kind":"alarm","state":0,"state_text":"restored")"), std::string::npos);
    EXPECT_NE(out.find(R"("kind":"count","lines":2)"), std::string::npos);
}

}  // namespace
}  // namespace tw::tools
