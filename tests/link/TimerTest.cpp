#include "PumpUntil.h"
#include "velkerrorsink.h"
#include "velkmessagequeue.h"
#include "velktimer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint32_t kInterval = 100; // ms

struct Expiry {
    uint64_t countdown;
    Clock::time_point at;
    std::thread::id thread;
};

// A timer whose expiries are recorded; the test thread is the owning thread.
class TimerTest : public ::testing::Test {
protected:
    velk_Timer::THandler Recorder() {
        return [this](velk_Timer &, uint64_t countdown) {
            expiries_.push_back({countdown, Clock::now(), std::this_thread::get_id()});
        };
    }
    // Handles the owning thread's messages for ms milliseconds.
    void Pump(int ms) { ProcessMessagesFor(TMessageQueue::Current(), ms); }
    double MsSince(Clock::time_point start, Clock::time_point end) const {
        return std::chrono::duration<double, std::milli>(end - start).count();
    }

    std::vector<Expiry> expiries_;
};

TEST_F(TimerTest, StartWithoutStopExpiresOnceOnTheOwningThread) {
    velk_Timer timer(kInterval, Recorder());
    EXPECT_EQ(timer.Interval(), kInterval);
    const auto start = Clock::now();
    EXPECT_EQ(timer.Start(), 1u);
    Pump(3 * kInterval);
    ASSERT_EQ(expiries_.size(), 1u);
    EXPECT_EQ(expiries_[0].countdown, 1u);
    EXPECT_EQ(expiries_[0].thread, std::this_thread::get_id());
    EXPECT_GE(MsSince(start, expiries_[0].at), kInterval);
    EXPECT_EQ(timer.Start(), 2u); // numbers go on across countdowns
    Pump(2 * kInterval);
    ASSERT_EQ(expiries_.size(), 2u);
    EXPECT_EQ(expiries_[1].countdown, 2u);
}

TEST_F(TimerTest, StopWithinTheIntervalPreventsExpiry) {
    velk_Timer timer(kInterval, Recorder());
    timer.Start();
    Pump(10);
    timer.Stop();
    Pump(3 * kInterval);
    EXPECT_TRUE(expiries_.empty());
    // A Stop on a stopped timer changes nothing: the next Start counts in full.
    timer.Stop();
    const auto start = Clock::now();
    timer.Start();
    Pump(3 * kInterval);
    ASSERT_EQ(expiries_.size(), 1u);
    EXPECT_GE(MsSince(start, expiries_[0].at), kInterval);
}

TEST_F(TimerTest, StopRightBeforeStartEndsTheOldCountdownAndRunsTheNewInFull) {
    velk_Timer timer(kInterval, Recorder());
    timer.Start();
    Pump(kInterval / 2);
    const auto restart = Clock::now();
    timer.Stop();
    const uint64_t second = timer.Start();
    Pump(3 * kInterval);
    ASSERT_EQ(expiries_.size(), 1u);
    EXPECT_EQ(expiries_[0].countdown, second);
    EXPECT_GE(MsSince(restart, expiries_[0].at), kInterval);
}

TEST_F(TimerTest, StartDuringACountdownDoesNotRestartIt) {
    velk_Timer timer(kInterval, Recorder());
    timer.Start();
    Pump(kInterval / 2);
    timer.Start();
    Pump(4 * kInterval);
    // The first countdown expires as begun; the start signal left by the second
    // Start then begins a full new one.
    ASSERT_EQ(expiries_.size(), 2u);
    EXPECT_EQ(expiries_[0].countdown, 1u);
    EXPECT_EQ(expiries_[1].countdown, 2u);
    EXPECT_GE(MsSince(expiries_[0].at, expiries_[1].at), kInterval - 1);
}

TEST_F(TimerTest, ExpiryWaitsForTheOwnerAndBlocksTheTimerThread) {
    velk_Timer timer(kInterval, [&](velk_Timer &sender, uint64_t countdown) {
        expiries_.push_back({countdown, Clock::now(), std::this_thread::get_id()});
        if (countdown == 1) {
            sender.Start(); // counts only after this handler has returned
            std::this_thread::sleep_for(std::chrono::milliseconds(2 * kInterval));
        }
    });
    timer.Start();
    // Not processing: nothing runs, however long the owner is busy.
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * kInterval));
    EXPECT_TRUE(expiries_.empty());
    const auto handled = Clock::now();
    Pump(5 * kInterval);
    ASSERT_EQ(expiries_.size(), 2u);
    const auto returned = handled + std::chrono::milliseconds(2 * kInterval);
    EXPECT_GE(MsSince(returned, expiries_[1].at), kInterval - 1);
}

std::vector<std::string> g_errors;
void VELK_CALL CaptureError(const char *text) {
    g_errors.emplace_back(text);
}

TEST_F(TimerTest, ThrowingHandlerIsReportedAndTheTimerStops) {
    g_errors.clear();
    TErrorSink previous = SetErrorSink(CaptureError);
    int calls = 0;
    {
        velk_Timer timer(kInterval / 2, [&](velk_Timer &, uint64_t) {
            ++calls;
            throw std::runtime_error("Timeout aspettando una risposta.");
        });
        timer.Start();
        Pump(3 * kInterval);
        EXPECT_EQ(calls, 1);
        timer.Start(); // still usable
        Pump(3 * kInterval);
        EXPECT_EQ(calls, 2);
    }
    SetErrorSink(previous);
    EXPECT_EQ(g_errors,
              (std::vector<std::string>{"Timeout aspettando una risposta.", "Timeout aspettando una risposta."}));
}

TEST_F(TimerTest, DestroyingAStoppedTimerReturnsAtOnce) {
    const auto start = Clock::now();
    {
        velk_Timer timer(60000, Recorder());
        timer.Start();
        Pump(10);
        timer.Stop();
    }
    EXPECT_LT(MsSince(start, Clock::now()), 30000); // far below the interval
    EXPECT_TRUE(expiries_.empty());
}

TEST_F(TimerTest, DestroyingACountingTimerDeliversItsExpiryFirst) {
    const auto start = Clock::now();
    {
        velk_Timer timer(kInterval, Recorder());
        timer.Start();
        // The destructor waits for the countdown while handling this thread's
        // queue, so the expiry is handled before it returns.
    }
    ASSERT_EQ(expiries_.size(), 1u);
    EXPECT_GE(MsSince(start, expiries_[0].at), kInterval);
    EXPECT_EQ(expiries_[0].thread, std::this_thread::get_id());
}

TEST_F(TimerTest, TimersOfAnotherThreadExpireThere) {
    std::thread::id owner, ranOn;
    std::thread([&] {
        owner = std::this_thread::get_id();
        velk_Timer timer(10, [&](velk_Timer &, uint64_t) { ranOn = std::this_thread::get_id(); });
        timer.Start();
        ProcessMessagesFor(TMessageQueue::Current(), 200);
    }).join();
    EXPECT_EQ(ranOn, owner);
    // This thread's queue saw nothing of it.
    EXPECT_EQ(TMessageQueue::Current().Waiting(), 0u);
}

// A stopped countdown does not wake the timer's thread: the thread notices the
// Stop only when the countdown's time is up. A Start meanwhile counts from its
// own moment all the same, and is not lost when the timer is destroyed.
constexpr uint32_t kRestartInterval = 400; // ms

struct TExpiries {
    std::vector<std::pair<uint64_t, Clock::time_point>> seen;
    velk_Timer::THandler Recorder() {
        return [this](velk_Timer &, uint64_t countdown) { seen.emplace_back(countdown, Clock::now()); };
    }
};

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

TEST_F(TimerTest, ARestartAfterAStopCountsFromTheRestart) {
    TExpiries expiries;
    velk_Timer timer(kRestartInterval, expiries.Recorder());
    timer.Start();
    ProcessMessagesFor(TMessageQueue::Current(), kRestartInterval / 2);
    timer.Stop();
    const Clock::time_point restart = Clock::now();
    const uint64_t second = timer.Start();
    ProcessMessagesFor(TMessageQueue::Current(), 3 * kRestartInterval);
    ASSERT_EQ(expiries.seen.size(), 1u);
    EXPECT_EQ(expiries.seen[0].first, second);
    EXPECT_GE(MsBetween(restart, expiries.seen[0].second), kRestartInterval);
    // Not from when the stopped countdown's time was up (half an interval later).
    EXPECT_LT(MsBetween(restart, expiries.seen[0].second), kRestartInterval * 1.4);
}

TEST_F(TimerTest, DestroyingAfterAStopAndARestartStillDeliversTheRestart) {
    TExpiries expiries;
    Clock::time_point restart;
    {
        velk_Timer timer(kRestartInterval, expiries.Recorder());
        timer.Start();
        ProcessMessagesFor(TMessageQueue::Current(), 10);
        timer.Stop();
        restart = Clock::now();
        timer.Start();
    }
    ASSERT_EQ(expiries.seen.size(), 1u);
    EXPECT_EQ(expiries.seen[0].first, 2u);
    EXPECT_GE(MsBetween(restart, expiries.seen[0].second), kRestartInterval);
}

} // namespace
