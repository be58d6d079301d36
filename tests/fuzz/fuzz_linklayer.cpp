// Feeds arbitrary bytes, cut into chunks the input chooses, to one connected
// TCP server port and checks what the link layer does with them:
//   - every reply is ACK, NAK, EOT, "1" ENQ or a well-formed status block;
//   - the receive buffer, the status queue and the byte counters stay bounded;
//   - every alarm is raised (1) or cleared (0);
//   - while the input stays below the buffer bound, cutting it differently
//     changes neither the replies nor the alarms.
//
// Input: byte 0 settings (bit 7: resynchronise on unrecognised input), byte 1
// largest chunk (0: all at once), byte 2 chunk seed, byte 3 repeat count (used
// when bits 5 and 6 of byte 0 are set); the rest is what the partner sends.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "espa/callrecord.h"
#include "espa/linklayer.h"
#include "fuzzsupport.h"
#include "support/fakeclock.h"
#include "support/fakes.h"
#include "support/fakesettings.h"
#include "ui/memoryview.h"

namespace {

using tw::fuzz::Check;

constexpr int16_t kPort = 3;
constexpr size_t kHeaderLength = 4;

struct Options {
    bool m_SendInQueue = false;
    bool m_SendPaged = false;
    bool m_SendTerminated = false;
    bool m_NoTimeout = false;
    bool m_Convert = false;
    bool m_Resync = false;
    size_t m_LargestChunk = 0;
    uint32_t m_Seed = 1;
    int m_Repeats = 1;
};

struct Outcome {
    std::vector<std::string> m_Replies;
    std::vector<tw::test::RecordedAlarm> m_Alarms;
};

Options ReadOptions(const uint8_t* data) {
    Options options;
    options.m_SendInQueue = (data[0] & 1U) != 0;
    options.m_SendPaged = (data[0] & 2U) != 0;
    options.m_SendTerminated = (data[0] & 4U) != 0;
    options.m_NoTimeout = (data[0] & 8U) != 0;
    options.m_Convert = (data[0] & 16U) != 0;
    options.m_Resync = (data[0] & 128U) != 0;
    options.m_LargestChunk = data[1];
    options.m_Seed = data[2] | 1U;
    // Repeating the payload reaches the receive-buffer bound without long
    // inputs; kept to a quarter of the runs, since each costs many chunks.
    options.m_Repeats = (data[0] & 96U) == 96U ? 1 + data[3] % 32 : 1;
    return options;
}

// SOH "2" STX data RS "7" US status ETX check: the block check over
// everything after SOH, check included, gives 0.
bool IsStatusBlock(const std::string& reply) {
    if (reply.size() < 9 || reply[0] != tw::espa::SOH || reply[1] != '2' ||
        reply[2] != tw::espa::STX || reply.find(tw::espa::ETX) != reply.size() - 2) {
        return false;
    }
    const std::string tail = reply.substr(reply.size() - 6, 4);
    const bool knownStatus = tail.starts_with(std::string{tw::espa::RS, '7', tw::espa::US}) &&
                             std::string("235").find(tail[3]) != std::string::npos;
    return knownStatus && tw::BlockCheck(std::string_view(reply).substr(1)).front() == '\0';
}

bool IsAllowedReply(const std::string& reply) {
    return reply == "\x06" || reply == "\x15" || reply == "\x04" || reply == "1\x05" ||
           IsStatusBlock(reply);
}

// Sizes from a small generator so that one input explores many cuttings.
size_t NextChunkLength(uint32_t& state, size_t largest) {
    state ^= state << 13U;
    state ^= state >> 17U;
    state ^= state << 5U;
    return state % (largest + 1);  // empty chunks included: a read may give nothing
}

void CheckBounds(const tw::Gateway& gateway, const tw::test::FakeSocket& socket) {
    const tw::PortRuntime& runtime = gateway.m_Runtime[kPort];
    Check(runtime.ReceiveBuffer.size() <= tw::kReceiveBufferLimit);
    Check(runtime.SendQueue.size() <= tw::kSendQueueLimit);
    Check(runtime.RxBytes >= 0 && runtime.RxBytes <= 65535);
    Check(runtime.TxBytes >= 0 && runtime.TxBytes <= 65535);
    Check(socket.m_Sent.size() <= 2 * 1024 * 1024);
}

// A fresh gateway for one run. Log lines are formatted, then lost: the log
// folder does not exist.
struct FuzzGateway {
    tw::GatewayWiring Wiring() {
        static const tw::test::FakeClock clock;
        static tw::test::FakeSettings settings;
        static tw::LogFolder logs("/nonexistent/", "LogFiles");
        return m_Fakes.WireFakes(clock, settings, logs, m_View, m_Alarms);
    }

    tw::test::FakeTransports m_Fakes;
    tw::MemoryView m_View;
    tw::test::RecordingAlarms m_Alarms;
    tw::Gateway m_Gateway{Wiring()};
};

Outcome Run(const Options& options, const std::string& payload, bool cut) {
    FuzzGateway fuzz;
    tw::Gateway& gateway = fuzz.m_Gateway;
    tw::test::FakeSocket& socket = fuzz.m_Fakes.m_Data[kPort];
    socket.m_State = tw::Socket::StateConnected;
    const tw::test::RecordingAlarms& alarms = fuzz.m_Alarms;
    gateway.m_General.ESPATimeout = options.m_NoTimeout ? 0 : 20000;
    gateway.m_General.UseFormatSection = false;
    gateway.m_General.SplitT1andT4fromT4UsingSlash = options.m_Convert;
    tw::PortSettings& settings = gateway.m_Ports[kPort];
    settings.PortKind = tw::PortKindTcpServer;
    settings.Description = "Fuzz";
    settings.SendInQueue = options.m_SendInQueue;
    settings.SendPaged = options.m_SendPaged;
    settings.SendTerminated = options.m_SendTerminated;
    settings.Swedish7BitASCII2ISOLatin1 = options.m_Convert;
    settings.DOSASCII2ISOLatin1 = options.m_Convert;
    settings.ResyncOnUnrecognisedInput = options.m_Resync;

    uint32_t state = options.m_Seed;
    for (int round = 0; round < options.m_Repeats; ++round) {
        size_t at = 0;
        while (at < payload.size()) {
            const size_t length = cut && options.m_LargestChunk > 0
                                      ? NextChunkLength(state, options.m_LargestChunk)
                                      : payload.size() - at;
            tw::HandleReceivedESPA(gateway, kPort, payload.substr(at, length));
            at += std::min(length, payload.size() - at);
            CheckBounds(gateway, socket);
        }
    }
    for (const std::string& reply : socket.m_SendCalls) {
        Check(IsAllowedReply(reply));
    }
    for (const tw::test::RecordedAlarm& alarm : alarms.m_Alarms) {
        Check(alarm.m_State == 0 || alarm.m_State == 1);
    }
    return {socket.m_SendCalls, alarms.m_Alarms};
}

bool SameAlarms(const std::vector<tw::test::RecordedAlarm>& a,
                const std::vector<tw::test::RecordedAlarm>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.m_State == y.m_State && x.m_Fields == y.m_Fields;
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderLength) {
        return 0;
    }
    const Options options = ReadOptions(data);
    const std::string payload(reinterpret_cast<const char*>(data + kHeaderLength),
                              size - kHeaderLength);
    const Outcome cut = Run(options, payload, true);
    if (options.m_Repeats == 1 && payload.size() <= tw::kReceiveBufferLimit) {
        const Outcome whole = Run(options, payload, false);
        Check(cut.m_Replies == whole.m_Replies);
        Check(SameAlarms(cut.m_Alarms, whole.m_Alarms));
    }
    return 0;
}
