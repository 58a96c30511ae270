#include "QueueSignalled.h"
#include "velkerrorsink.h"
#include "velkmessagequeue.h"
#include "velkworkerthread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using TRelease = TMessageTarget::TRelease;

// Waits (bounded) until a message is queued for the calling thread.
void AwaitMessage() {
    ASSERT_TRUE(TMessageQueue::Current().WaitForMessage(5000));
}

// Captures what reaches the error sink.
std::vector<std::string> g_errors;
void VELK_CALL CaptureError(const char *text) {
    g_errors.emplace_back(text);
}

class ErrorCapture {
public:
    ErrorCapture() : previous_(SetErrorSink(CaptureError)) { g_errors.clear(); }
    ~ErrorCapture() { SetErrorSink(previous_); }

private:
    TErrorSink previous_;
};

TEST(MessageQueueTest, HandlerRunsOnTheOwnerOnlyWhileItProcesses) {
    TMessageQueue &queue = TMessageQueue::Current();
    TMessageTarget target;
    std::atomic<bool> ran{false};
    std::thread::id ranOn;
    EXPECT_FALSE(QueueSignalled(queue.Handle()));

    auto sender = std::async(std::launch::async, [&] {
        return target.Send([&] { ranOn = std::this_thread::get_id(), ran = true; }, TRelease::Handled);
    });
    AwaitMessage();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(QueueSignalled(queue.Handle()));
    EXPECT_EQ(queue.ProcessMessages(), 1);
    EXPECT_TRUE(ran);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(sender.get());
    EXPECT_FALSE(QueueSignalled(queue.Handle()));
    EXPECT_EQ(queue.Waiting(), 0u);
}

TEST(MessageQueueTest, WaitWithNothingQueuedTimesOut) {
    EXPECT_FALSE(TMessageQueue::Current().WaitForMessage(20));
    EXPECT_EQ(TMessageQueue::Current().ProcessMessages(), 0);
}

TEST(MessageQueueTest, AcceptedSenderGoesOnBeforeTheHandlerReturns) {
    TMessageTarget target;
    std::promise<void> released;
    std::future_status seen = std::future_status::timeout;
    auto sender = std::async(std::launch::async, [&] {
        bool sent = target.Send([&, f = released.get_future().share()] { seen = f.wait_for(5s); }, TRelease::Accepted);
        released.set_value();
        return sent;
    });
    AwaitMessage();
    // The handler waits for the sender's release: it sees it only when the
    // sender was let go as the message was taken.
    TMessageQueue::Current().ProcessMessages();
    EXPECT_EQ(seen, std::future_status::ready);
    EXPECT_TRUE(sender.get());
}

TEST(MessageQueueTest, HandledSenderWaitsForTheHandler) {
    TMessageTarget target;
    std::atomic<bool> released{false};
    bool releasedDuringHandler = true;
    auto sender = std::async(std::launch::async, [&] {
        target.Send(
            [&] {
                std::this_thread::sleep_for(50ms);
                releasedDuringHandler = released.load();
            },
            TRelease::Handled);
        released = true;
    });
    AwaitMessage();
    TMessageQueue::Current().ProcessMessages();
    sender.get();
    EXPECT_FALSE(releasedDuringHandler);
}

TEST(MessageQueueTest, PostedSenderGoesOnAtOnceAndOneTargetsMessagesCanBeHandledAlone) {
    TMessageTarget mine;
    TMessageTarget other;
    std::vector<std::string> order;
    std::thread worker([&] {
        EXPECT_TRUE(mine.Send([&] { order.push_back("mine 1"); }, TRelease::Posted));
        EXPECT_TRUE(other.Send([&] { order.push_back("other"); }, TRelease::Posted));
        EXPECT_TRUE(mine.Send([&] { order.push_back("mine 2"); }, TRelease::Posted));
    });
    worker.join(); // posted three times without this thread taking anything
    TMessageQueue &queue = TMessageQueue::Current();
    EXPECT_EQ(queue.Waiting(), 3u);
    EXPECT_EQ(mine.HandleWaiting(), 2);
    EXPECT_EQ(order, (std::vector<std::string>{"mine 1", "mine 2"}));
    EXPECT_EQ(queue.Waiting(), 1u);
    EXPECT_TRUE(QueueSignalled(queue.Handle()));
    EXPECT_EQ(queue.ProcessMessages(), 1);
    EXPECT_EQ(order.back(), "other");
    EXPECT_FALSE(QueueSignalled(queue.Handle()));
}

TEST(MessageQueueTest, PostedMessageOfADestroyedTargetNeverRuns) {
    bool ran = false;
    {
        TMessageTarget target;
        std::thread([&] { EXPECT_TRUE(target.Send([&] { ran = true; }, TRelease::Posted)); }).join();
        EXPECT_EQ(TMessageQueue::Current().Waiting(), 1u);
    }
    EXPECT_EQ(TMessageQueue::Current().ProcessMessages(), 0);
    EXPECT_FALSE(ran);
}

TEST(MessageQueueTest, ThrowingHandlerIsReportedAndProcessingGoesOn) {
    ErrorCapture errors;
    TMessageTarget target;
    std::atomic<int> after{0};
    auto sender = std::async(std::launch::async, [&] {
        bool first = target.Send([] { throw std::runtime_error("handler broke"); }, TRelease::Handled);
        bool second = target.Send([&] { ++after; }, TRelease::Handled);
        return first && second;
    });
    while (after == 0 && TMessageQueue::Current().WaitForMessage(5000))
        TMessageQueue::Current().ProcessMessages();
    EXPECT_TRUE(sender.get());
    EXPECT_EQ(after, 1);
    ASSERT_EQ(g_errors.size(), 1u);
    EXPECT_EQ(g_errors[0], "handler broke");
}

// Waits (bounded) until n messages are queued for the calling thread.
void AwaitWaiting(size_t n) {
    for (int i = 0; i < 5000 && TMessageQueue::Current().Waiting() < n; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(TMessageQueue::Current().Waiting(), n);
}

TEST(MessageQueueTest, DestroyedTargetDropsItsMessagesAndReleasesSenders) {
    auto target = std::make_unique<TMessageTarget>();
    TMessageTarget other;
    std::atomic<bool> ran{false}, otherRan{false};
    auto dropped = std::async(std::launch::async, [&] { return target->Send([&] { ran = true; }, TRelease::Handled); });
    auto kept = std::async(std::launch::async, [&] { return other.Send([&] { otherRan = true; }, TRelease::Handled); });
    AwaitWaiting(2);
    target.reset();
    EXPECT_FALSE(dropped.get());
    EXPECT_EQ(TMessageQueue::Current().Waiting(), 1u);
    EXPECT_TRUE(QueueSignalled(TMessageQueue::Current().Handle()));
    EXPECT_EQ(TMessageQueue::Current().ProcessMessages(), 1);
    EXPECT_TRUE(kept.get());
    EXPECT_FALSE(ran);
    EXPECT_TRUE(otherRan);
    EXPECT_FALSE(QueueSignalled(TMessageQueue::Current().Handle()));
}

TEST(MessageQueueTest, EndedOwnerThreadReleasesSenders) {
    std::unique_ptr<TMessageTarget> target;
    std::thread([&] { target = std::make_unique<TMessageTarget>(); }).join();
    std::atomic<bool> ran{false};
    EXPECT_FALSE(target->Send([&] { ran = true; }, TRelease::Handled));
    EXPECT_FALSE(ran);
}

TEST(MessageQueueTest, SendOnTheOwnerRunsAtOnce) {
    TMessageTarget target;
    bool ran = false;
    EXPECT_TRUE(target.Send([&] { ran = true; }, TRelease::Handled));
    EXPECT_TRUE(ran);
}

TEST(MessageQueueTest, PostOnTheOwnerWaitsBehindTheWaitingMessagesForTheNextRound) {
    TMessageQueue &queue = TMessageQueue::Current();
    TMessageTarget target;
    std::vector<int> order;
    std::thread([&] { target.Send([&] { order.push_back(1); }, TRelease::Posted); }).join();
    // A handler that posts more work: it runs after the messages that waited, at the next round.
    EXPECT_TRUE(target.Post([&] {
        order.push_back(2);
        target.Post([&] { order.push_back(3); });
    }));
    EXPECT_TRUE(order.empty());
    EXPECT_TRUE(QueueSignalled(queue.Handle()));
    EXPECT_EQ(queue.ProcessMessages(), 2);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(queue.ProcessMessages(), 1);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(MessageQueueTest, JoiningAWorkerKeepsHandlingMessages) {
    TMessageTarget target;
    int handled = 0;
    {
        // The worker waits until its messages are handled; the join would never
        // return if it did not handle them.
        TWorkerThread worker([&] {
            for (int i = 0; i < 3; ++i)
                target.Send([&] { ++handled; }, TRelease::Handled);
        });
        worker.Join();
    }
    EXPECT_EQ(handled, 3);
}

TEST(MessageQueueTest, ManyWorkersAllDelivered) {
    constexpr int kWorkers = 4, kEach = 200;
    TMessageTarget target;
    int handled = 0; // touched only on this thread
    std::vector<std::unique_ptr<TWorkerThread>> workers;
    for (int w = 0; w < kWorkers; ++w)
        workers.push_back(std::make_unique<TWorkerThread>([&, w] {
            for (int i = 0; i < kEach; ++i)
                target.Send([&] { ++handled; }, w % 2 ? TRelease::Accepted : TRelease::Handled);
        }));
    for (auto &worker : workers)
        worker->Join();
    TMessageQueue::Current().ProcessMessages();
    EXPECT_EQ(handled, kWorkers * kEach);
}

} // namespace
