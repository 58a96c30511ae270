#include "ComError.h"
#include "PseudoTerminal.h"
#include "PumpUntil.h"
#include "velkcport.h"
#include "velkerrorsink.h"
#include "velkmessagequeue.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

namespace {

// CPU time (user + system) of the whole process so far, in seconds.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct RxCall {
    int32_t count;
    std::thread::id thread;
};

// A port on a pseudo-terminal whose OnRxChar calls are recorded.
class PortEventsTest : public ::testing::Test {
protected:
    void Open(TSyncMethod sync, TComEvents events = {evRxChar, evTxEmpty}) {
        port_.SetSyncMethod(sync);
        port_.SetEvents(events);
        port_.SetPort(pty_.Path());
        port_.OnRxChar = [this](TCustomComPort &, int32_t count) {
            std::lock_guard lock(mutex_);
            calls_.push_back({count, std::this_thread::get_id()});
        };
        port_.Open();
    }
    std::vector<RxCall> Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    TMessageQueue &Queue() { return TMessageQueue::Current(); }

    PseudoTerminal pty_;
    velk_CPort port_;
    std::mutex mutex_;
    std::vector<RxCall> calls_;
};

TEST_F(PortEventsTest, RxCharRunsOnTheOwnerOnlyWhileItProcessesMessages) {
    Open(smWindowSync);
    pty_.Send("hello");
    ASSERT_TRUE(Queue().WaitForMessage(5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(Calls().empty()); // waiting, not handled
    EXPECT_EQ(Queue().ProcessMessages(), 1);
    auto calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].count, 5);
    EXPECT_EQ(calls[0].thread, std::this_thread::get_id());
}

TEST_F(PortEventsTest, HandlerReadsWhatArrived) {
    Open(smWindowSync);
    std::string received;
    port_.OnRxChar = [&](TCustomComPort &sender, int32_t count) {
        std::string chunk(count, '\0');
        chunk.resize(sender.Read(chunk.data(), count));
        received += chunk;
    };
    pty_.Send("first ");
    pty_.Send("second");
    for (int i = 0; i < 100 && received.size() < 12; ++i)
        ProcessMessagesFor(Queue(), 50);
    EXPECT_EQ(received, "first second");
}

TEST_F(PortEventsTest, ThreadSyncRunsOnTheOwnerAndNoneOnTheEventThread) {
    Open(smThreadSync);
    pty_.Send("a");
    ASSERT_TRUE(Queue().WaitForMessage(5000));
    Queue().ProcessMessages();
    auto calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].thread, std::this_thread::get_id());
    port_.Close();

    calls_.clear();
    port_.SetSyncMethod(smNone);
    port_.Open();
    pty_.Send("b");
    ASSERT_TRUE(Eventually([&] { return !Calls().empty(); }));
    EXPECT_NE(Calls()[0].thread, std::this_thread::get_id());
    EXPECT_EQ(Queue().Waiting(), 0u);
}

TEST_F(PortEventsTest, NoEventsNoThreadNoHandler) {
    Open(smWindowSync, TComEvents{});
    pty_.Send("ignored");
    ASSERT_TRUE(Eventually([&] { return port_.InputCount() == 7; }));
    ProcessMessagesFor(Queue(), 100);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(PortEventsTest, HandlerErrorIsReportedAndThePortKeepsRunning) {
    static std::vector<std::string> errors;
    errors.clear();
    TErrorSink previous = SetErrorSink([](const char *text) { errors.emplace_back(text); });
    Open(smWindowSync);
    int calls = 0;
    port_.OnRxChar = [&](TCustomComPort &sender, int32_t) {
        ++calls;
        static_cast<velk_CPort &>(sender).DrainInput();
        throw EComPort(ceRead, EIO);
    };
    pty_.Send("1");
    ASSERT_TRUE(Queue().WaitForMessage(5000));
    Queue().ProcessMessages();
    pty_.Send("2");
    ASSERT_TRUE(Queue().WaitForMessage(5000));
    Queue().ProcessMessages();
    SetErrorSink(previous);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(errors, (std::vector<std::string>(2, "ReadFile function failed (win error code: 5)")));
    EXPECT_TRUE(port_.Connected());
}

TEST_F(PortEventsTest, EventHandedOverDuringCloseIsStillDelivered) {
    Open(smWindowSync);
    pty_.Send("late");
    // The notice now waits for this thread; closing still delivers it, with the
    // port still open.
    ASSERT_TRUE(Queue().WaitForMessage(5000));
    port_.OnRxChar = [&](TCustomComPort &sender, int32_t count) {
        EXPECT_TRUE(sender.Connected());
        calls_.push_back({count, std::this_thread::get_id()});
    };
    port_.Close();
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].count, 4);
    EXPECT_FALSE(port_.Connected());
    EXPECT_EQ(Queue().Waiting(), 0u);
}

TEST_F(PortEventsTest, OneNoticeWaitsWhateverArrivesMeanwhile) {
    Open(smWindowSync);
    pty_.Send("one");
    ASSERT_TRUE(Queue().WaitForMessage(5000));
    // The event thread does not wait for this thread: more bytes arriving while
    // the notice waits add no second one, and the handler sees them all.
    pty_.Send("two");
    ASSERT_TRUE(Eventually([&] { return port_.InputCount() == 6; }));
    pty_.Send("three");
    ASSERT_TRUE(Eventually([&] { return port_.InputCount() == 11; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Queue().Waiting(), 1u);
    EXPECT_EQ(Queue().ProcessMessages(), 1);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].count, 11);
    // Once handled, the next bytes bring a notice of their own.
    pty_.Send("four");
    ASSERT_TRUE(Queue().WaitForMessage(5000));
    Queue().ProcessMessages();
    ASSERT_EQ(Calls().size(), 2u);
    EXPECT_EQ(Calls()[1].count, 15);
}

// With a threshold the notice waits until that many bytes are in; reads still
// take what is there. A new open notices every arrival again.
TEST_F(PortEventsTest, NoticeWaitsForTheThresholdOfBytes) {
    Open(smWindowSync);
    port_.SetRxThreshold(10);
    pty_.Send("12345");
    ASSERT_TRUE(Eventually([&] { return port_.InputCount() == 5; }));
    EXPECT_FALSE(Queue().WaitForMessage(100));
    pty_.Send("67890");
    ASSERT_TRUE(Queue().WaitForMessage(5000));
    Queue().ProcessMessages();
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].count, 10);
    char bytes[16];
    EXPECT_EQ(port_.Read(bytes, 4), 4);
    EXPECT_EQ(port_.Read(bytes, 16), 6);
    EXPECT_EQ(port_.Read(bytes, 16), 0);

    port_.Close();
    port_.Open();
    pty_.Send("x");
    ASSERT_TRUE(Queue().WaitForMessage(5000));
    Queue().ProcessMessages();
    ASSERT_EQ(Calls().size(), 2u);
    EXPECT_EQ(Calls()[1].count, 1);
}

TEST_F(PortEventsTest, UnreadBytesCostNoCpu) {
    Open(smWindowSync);
    port_.OnRxChar = [&](TCustomComPort &, int32_t count) { calls_.push_back({count, {}}); }; // reads nothing
    pty_.Send(std::string(100, 'u'));
    ASSERT_TRUE(Queue().WaitForMessage(5000));
    const double before = CpuSeconds();
    // Half the second without handling messages (the notice waits), half
    // handling them with the bytes left unread.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ProcessMessagesFor(Queue(), 500);
    const double used = CpuSeconds() - before;
    EXPECT_LT(used, 0.05) << "CPU seconds while bytes waited unread";
    EXPECT_GE(calls_.size(), 1u);
    EXPECT_LE(calls_.size(), 100u);
    EXPECT_EQ(port_.InputCount(), 100);
}

TEST_F(PortEventsTest, VanishedPeerIsReportedOnceAtOnceAndCostsNoCpu) {
    Open(smWindowSync);
    std::vector<EComPort> lineErrors;
    port_.OnLineError = [&](TCustomComPort &, const EComPort &error) { lineErrors.push_back(error); };
    pty_.CloseMaster();
    ASSERT_TRUE(Queue().WaitForMessage(1000)); // told at once, not on a later use of the line
    const double before = CpuSeconds();
    ProcessMessagesFor(Queue(), 1000);
    EXPECT_LT(CpuSeconds() - before, 0.05) << "CPU seconds after the peer vanished";
    EXPECT_TRUE(Calls().empty());
    ASSERT_EQ(lineErrors.size(), 1u);
    // Met by the read of the last notice's bytes, or by the hang-up's own notice.
    EXPECT_TRUE(lineErrors[0].Code() == ceInputCount || lineErrors[0].Code() == ceRead) << lineErrors[0].Code();
    EXPECT_EQ(lineErrors[0].SystemCode(), EIO);
    char byte;
    EXPECT_EQ(ComError([&] { port_.Read(&byte, 1); }).Code(), ceRead);
    const EComPort write = ComError([&] { port_.Write("x", 1); });
    EXPECT_EQ(write.Code(), ceWrite);
    EXPECT_EQ(write.SystemCode(), EIO);
    EXPECT_TRUE(port_.Connected());
    port_.Close();
    EXPECT_FALSE(port_.Connected());
}

} // namespace
