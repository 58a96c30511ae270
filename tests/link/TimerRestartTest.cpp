// A stopped countdown no longer wakes the timer's thread: the thread notices the
// Stop only when the countdown's time is up. A Start meanwhile must count from
// its own moment all the same, and must not be lost when the timer is destroyed.
#include "PumpUntil.h"
#include "velkmessagequeue.h"
#include "velktimer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kInterval = 400; // ms

struct TExpiries {
    std::vector<std::pair<uint64_t, Clock::time_point>> seen;
    velk_Timer::THandler Recorder() {
        return [this](velk_Timer &, uint64_t countdown) { seen.emplace_back(countdown, Clock::now()); };
    }
};

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

TEST(TimerRestartTest, ARestartAfterAStopCountsFromTheRestart) {
    TExpiries expiries;
    velk_Timer timer(kInterval, expiries.Recorder());
    timer.Start();
    ProcessMessagesFor(TMessageQueue::Current(), kInterval / 2);
    timer.Stop();
    const Clock::time_point restart = Clock::now();
    const uint64_t second = timer.Start();
    ProcessMessagesFor(TMessageQueue::Current(), 3 * kInterval);
    ASSERT_EQ(expiries.seen.size(), 1u);
    EXPECT_EQ(expiries.seen[0].first, second);
    EXPECT_GE(MsBetween(restart, expiries.seen[0].second), kInterval);
    // Not from when the stopped countdown's time was up (half an interval later).
    EXPECT_LT(MsBetween(restart, expiries.seen[0].second), kInterval * 1.4);
}

TEST(TimerRestartTest, DestroyingAfterAStopAndARestartStillDeliversTheRestart) {
    TExpiries expiries;
    Clock::time_point restart;
    {
        velk_Timer timer(kInterval, expiries.Recorder());
        timer.Start();
        ProcessMessagesFor(TMessageQueue::Current(), 10);
        timer.Stop();
        restart = Clock::now();
        timer.Start();
    }
    ASSERT_EQ(expiries.seen.size(), 1u);
    EXPECT_EQ(expiries.seen[0].first, 2u);
    EXPECT_GE(MsBetween(restart, expiries.seen[0].second), kInterval);
}

} // namespace
