// A gateway left running with failing ports and an alarm server that is away
// (or present but refusing every alarm), in virtual time.
//
// A hundred days are 86.4 million ticks, far more than a sanitizer build can
// run in a test. Every counter of the tick is either reset on a fixed period
// or held at a bound, so the run is split in two:
//  1. hours of real ticks from start-up (six with the alarm server away, two
//     with it refusing): every period of the configuration is passed hundreds
//     of times; the state must stay inside its bounds;
//  2. the long-run corner: every counter is placed where only weeks of running
//     could bring it (the reconnect countdown at the bottom of the int32 range,
//     the up-counters just below the top with their limits set to the longest
//     value a setting can hold), then another virtual hour of ticks. A signed
//     overflow aborts the run (UndefinedBehaviorSanitizer), a stalled counter
//     fails the event checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>

#include "ports/supervision.h"
#include "support/gatewayfixture.h"

namespace tw {
namespace {

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int kTicksPerHour = 36000;
constexpr int kNoisyPort = 7;  // an open serial line that only ever receives noise

// The event log is left out (its folder removed): hours of failing ports would
// write a line a second to disk. The library answers "running" and refuses
// every command, recording nothing, so it stays the same size however long it
// runs.
class SoakTest : public ::testing::Test, public test::GatewayFixture {
  protected:
    SoakTest() {
        std::filesystem::remove_all(m_Folder.Path() + "LogFiles");
        m_Alarms.m_Through = &m_Link;
        m_Alarms.m_Record = false;
        m_Zorvan2.m_AcceptLimit = 0;
        m_Zorvan2.m_Answers = {{1, 1}};
        m_Zorvan2.m_Record = false;
        m_ZorvanListener.m_State = Socket::StateListening;
        GeneralSettings& general = m_Gateway.m_General;
        general.WatchDogTagName = "WD";
        for (int16_t port = 0; port < kPortCount; ++port) {
            PortSettings& settings = m_Gateway.m_Ports[port];
            settings.Description = "Port " + std::to_string(port);
            settings.PollFailTimeout = 60000;
            settings.PollFailRemindTime = 1;
            m_View.AddPortRow(port, settings.Description);
            if (port < 3) {
                settings.PortKind = PortKindTcpServer;
                m_Listeners[port].m_ListenError = "Address already in use";
            } else if (port < 5) {
                settings.PortKind = PortKindTcpClient;  // connects never complete
            } else {
                settings.PortKind = PortKindCom;
                m_Serials[port].m_OpenError = port == kNoisyPort ? "" : "No such device";
            }
        }
    }

    void AlarmServerRefusing() {
        m_Gateway.m_General.ZorvanConnectionMethod = ZorvanMethodLibrary2;
    }

    void Run(int ticks) {
        for (int tick = 1; tick <= ticks; ++tick) {
            m_Supervisor.Timer_Update_Timer();
            if (tick % 10 == 0) {
                m_Gateway.m_Runtime[kNoisyPort].ReceiveBuffer += "\x7f\x7f\x7f";
            }
        }
    }

    void ExpectBounded() {
        const GeneralSettings& general = m_Gateway.m_General;
        EXPECT_LT(m_Supervisor.TickAccumulator(), 1000);
        EXPECT_LE(m_Link.AlarmBuffer().size(), kAlarmBufferCapacity);
        EXPECT_LE(m_Link.ZorvanTxBytes(), 65535);
        EXPECT_LT(m_Link.WatchDogElapsed(), general.WatchDogInterval);
        for (int16_t port = 0; port < kPortCount; ++port) {
            SCOPED_TRACE(port);
            const PortRuntime& runtime = m_Gateway.m_Runtime[port];
            const PortSettings& settings = m_Gateway.m_Ports[port];
            EXPECT_GE(runtime.ReconnectCountdown, 0);
            EXPECT_LE(runtime.ReconnectCountdown, std::max(general.ReconnectInterval, 0));
            EXPECT_GE(runtime.ESPAIdleTime, 0);
            EXPECT_LT(runtime.ESPAIdleTime, general.ESPATimeout);
            EXPECT_GE(runtime.PollFailElapsed, 0);
            EXPECT_LE(runtime.PollFailElapsed, settings.PollFailTimeout);
            EXPECT_GE(runtime.PollFailRemindElapsed, 0);
            EXPECT_LE(runtime.ReceiveBuffer.size(), 3U * (general.ESPATimeout / 1000 + 1));
            EXPECT_TRUE(runtime.SendQueue.empty());
        }
    }

    // Every counter where only weeks of running could bring it, with the
    // limits at the longest value a setting can hold.
    void JumpToTheLongRunCorner() {
        GeneralSettings& general = m_Gateway.m_General;
        general.ESPATimeout = kInt32Max;
        general.WatchDogInterval = kInt32Max;
        for (int16_t port = 0; port < kPortCount; ++port) {
            PortSettings& settings = m_Gateway.m_Ports[port];
            settings.PollFailTimeout = kInt32Max;
            settings.PollFailRemindTime = kInt32Max;  // seconds: beyond the ms range
            PortRuntime& runtime = m_Gateway.m_Runtime[port];
            runtime.ReconnectCountdown = std::numeric_limits<int32_t>::min() + 1;
            runtime.ESPAIdleTime = kInt32Max - 50;
            runtime.PollFailElapsed = kInt32Max - 500;
            runtime.PollFailRemindElapsed = 0;
            runtime.CommFailed = false;
        }
        m_Link.WatchDogTick(kInt32Max - 500);
    }

    AlarmLink m_Link{m_Gateway};
    Supervisor m_Supervisor{m_Gateway, m_Link};
};

TEST_F(SoakTest, AbsentAlarmServerAndFailingPortsKeepEveryCounterInBounds) {
    Run(6 * kTicksPerHour);
    ExpectBounded();
    EXPECT_TRUE(m_Link.AlarmBuffer().empty());  // no poll alarms while it is away
    EXPECT_EQ(m_Listeners[0].m_ListenCalls, 6 * 3600);
    EXPECT_EQ(m_Serials[5].m_OpenCalls, 6 * 3600);
    EXPECT_EQ(m_Data[3].m_ConnectCalls, 6 * 3600 / 30);

    JumpToTheLongRunCorner();
    Run(10);
    // Held at the top, the idle time of the serial lines and the watchdog
    // time still reach their limits.
    for (int16_t port = 5; port < kPortCount; ++port) {
        EXPECT_TRUE(m_Gateway.m_Runtime[port].CommFailed);
    }
    EXPECT_EQ(m_Link.WatchDogElapsed(), 0);
    Run(kTicksPerHour);
    ExpectBounded();
    // Failing ports are still tried every second.
    EXPECT_EQ(m_Listeners[0].m_ListenCalls, 7 * 3600 + 1);
}

TEST_F(SoakTest, RefusingAlarmServerFillsTheBufferOnlyToItsBound) {
    AlarmServerRefusing();
    Run(2 * kTicksPerHour);
    ExpectBounded();
    EXPECT_EQ(m_Link.AlarmBuffer().size(), kAlarmBufferCapacity);
    for (int16_t port = 0; port < kPortCount; ++port) {
        EXPECT_EQ(m_Gateway.m_Runtime[port].PollFailElapsed, 60000);
    }

    JumpToTheLongRunCorner();
    // Within a second the failure alarms fire and the reminder period, held
    // at the int32 range of ms, is still reached.
    Run(10);
    for (int16_t port = 0; port < kPortCount; ++port) {
        EXPECT_EQ(m_Gateway.m_Runtime[port].PollFailElapsed, kInt32Max);
        m_Gateway.m_Runtime[port].PollFailRemindElapsed = kInt32Max - 500;
    }
    EXPECT_EQ(m_Link.WatchDogElapsed(), 0);
    Run(10);
    for (int16_t port = 0; port < kPortCount; ++port) {
        EXPECT_EQ(m_Gateway.m_Runtime[port].PollFailRemindElapsed, 0);
    }
    Run(kTicksPerHour);
    ExpectBounded();
    EXPECT_EQ(m_Link.AlarmBuffer().size(), kAlarmBufferCapacity);
}

}  // namespace
}  // namespace tw
