// The supervision timer and the signal watcher on the real event loop.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>
#include <vector>

#include "integration/eventloop.h"
#include "platform/signalwatcher.h"
#include "platform/ticktimer.h"

namespace tw::test {
namespace {

using Clock = std::chrono::steady_clock;

TEST(TickTimerTest, NextTickStartsAFullIntervalAfterTheLastOneEnded) {
    std::vector<Clock::time_point> starts;
    std::vector<Clock::time_point> ends;
    TickTimer* timer = nullptr;
    TickTimer ticker(
        [&] {
            starts.push_back(Clock::now());
            std::this_thread::sleep_for(std::chrono::milliseconds(30));  // a slow tick
            if (starts.size() == 4) {
                timer->Stop();
            }
            ends.push_back(Clock::now());
        },
        100, [](const std::string&) {});
    timer = &ticker;
    ticker.Start();
    ASSERT_TRUE(WaitUntil([&] { return starts.size() == 4; }));
    RunFor(300);
    EXPECT_EQ(starts.size(), 4U);  // stopped from inside the tick
    EXPECT_FALSE(ticker.IsRunning());
    for (size_t index = 1; index < starts.size(); ++index) {
        const auto gap = starts[index] - ends[index - 1];
        EXPECT_GE(gap, std::chrono::milliseconds(99));
    }
}

TEST(TickTimerTest, ATickThatThrowsIsReportedAndTheTimerTicksOn) {
    int ticks = 0;
    std::vector<std::string> failures;
    TickTimer ticker(
        [&] {
            if (++ticks == 1) {
                throw std::runtime_error("bad step");
            }
        },
        10, [&](const std::string& what) { failures.push_back(what); });
    ticker.Start();
    ASSERT_TRUE(WaitUntil([&] { return ticks >= 3; }));
    ticker.Stop();
    EXPECT_EQ(failures, std::vector<std::string>{"bad step"});
}

TEST(SignalWatcherTest, SignalsBecomeCloseReasonsOnTheLoop) {
    const struct {
        bool m_AsService;
        int m_Signal;
        int m_Reason;
    } rows[] = {
        {false, SIGINT, 0}, {false, SIGTERM, 3}, {false, SIGHUP, 2},
        {true, SIGINT, 0},  {true, SIGTERM, 1},  {true, SIGHUP, 2},
    };
    for (const auto& row : rows) {
        std::vector<int> reasons;
        SignalWatcher watcher(row.m_AsService, [&](int reason) { reasons.push_back(reason); });
        ASSERT_EQ(raise(row.m_Signal), 0);
        EXPECT_TRUE(reasons.empty());  // never inside the signal handler
        ASSERT_TRUE(WaitUntil([&] { return !reasons.empty(); })) << row.m_Signal;
        EXPECT_EQ(reasons, std::vector<int>{row.m_Reason}) << row.m_Signal;
    }
    EXPECT_EQ(CloseReasonForSignal(SIGUSR1, false), -1);
}

}  // namespace
}  // namespace tw::test
