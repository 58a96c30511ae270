// The owner-thread message queue. Worker threads (the port's event thread, the
// timers' threads) never run protocol code: they hand a message to the queue of
// the thread that owns the port or timer and either go on at once (port events)
// or block until that thread has taken it or handled it (timer expiries). The
// owning thread handles
// messages only when it processes its queue: ProcessMessages, a bounded wait for
// the next message, or its own event loop woken by Handle().
#pragma once

#include "velkerrorsink.h"
#include "velkqueuesignal.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TMessageTarget;

class TMessageQueue {
    struct TKey {};

public:
    // The calling thread's queue, created on first use. It lives until the thread
    // ends; then every message still waiting is dropped and its sender released.
    static TMessageQueue &Current();
    static std::shared_ptr<TMessageQueue> CurrentShared();
    // Closes the calling thread's queue now and forgets it, as if the thread
    // had ended; the next Current() makes a new one.
    static void ReleaseCurrent();

    explicit TMessageQueue(TKey);
    ~TMessageQueue();
    TMessageQueue(const TMessageQueue &) = delete;
    TMessageQueue &operator=(const TMessageQueue &) = delete;

    // Handles every message waiting now, without waiting; returns how many. A
    // handler that throws is reported through the error sink and processing goes
    // on. Messages that arrive meanwhile wait for the next call.
    int ProcessMessages();
    // Blocks until a message waits or timeoutMs has passed (negative: no limit);
    // true when one waits. On Windows the thread's window messages that arrive
    // meanwhile are dispatched, so the host's windows stay alive.
    bool WaitForMessage(int timeoutMs);
    // What a host's loop waits on: a descriptor (eventfd) readable, or an event
    // handle signalled, exactly while messages wait.
    int32_t Handle() const { return signal_.Handle(); }
    // Number of messages waiting now.
    size_t Waiting() const;
    bool IsOwnerThread() const { return std::this_thread::get_id() == owner_; }

    // Handles messages until finished() is true, blocking between them. Whoever
    // makes finished() true calls Wake() afterwards. Used by a thread that waits
    // for one of its workers, which may itself be waiting for this queue.
    void ProcessUntil(const std::function<bool()> &finished);
    void Wake();

    // Called when the owning thread ends: drops every waiting message, releases
    // its sender and refuses later messages.
    void Close();

private:
    friend class TMessageTarget;
    enum class TStage { Waiting, Accepted, Handled, Dropped };
    struct TTargetState {
        bool alive = true; // guarded by the queue's mutex
    };
    struct TMessage {
        std::shared_ptr<TTargetState> target;
        std::function<void()> handler;
        TStage releaseAt;
        TStage stage = TStage::Waiting;
    };

    // runOnOwner: on the owning thread the handler runs at once instead of waiting
    // in the queue.
    bool Send(const std::shared_ptr<TTargetState> &target, std::function<void()> handler, TStage releaseAt,
              bool runOnOwner = true);
    void DropTarget(const std::shared_ptr<TTargetState> &target);
    int HandleWaiting(const std::shared_ptr<TTargetState> &target);
    // Runs a message taken off the queue (stage Accepted) and releases a sender
    // waiting for its handler.
    void RunAccepted(TMessage &message);
    void UpdateSignalLocked();

    const std::thread::id owner_;
    TQueueSignal signal_;
    mutable std::mutex mutex_;
    // The owning thread waits on arrived_ (a message waits, ProcessUntil's
    // condition); senders wait on released_ (their message's stage). Apart, a
    // sender blocked for its handler is not woken by every port event posted
    // meanwhile, nor the owning thread by every stage change.
    std::condition_variable arrived_;
    std::condition_variable released_;
    std::deque<std::shared_ptr<TMessage>> messages_;
    bool closed_ = false;
};

// What a worker posts to: created on the owning thread by the object that owns
// the worker (port, timer). Destroying it drops its messages still waiting and
// releases their senders; later sends are refused.
class TMessageTarget {
public:
    enum class TRelease {
        Accepted, // the sender goes on as soon as the owning thread takes the message
        Handled,  // the sender goes on when the handler has returned
        Posted,   // the sender goes on at once; the message waits for the owning thread
    };

    TMessageTarget();
    ~TMessageTarget();
    TMessageTarget(const TMessageTarget &) = delete;
    TMessageTarget &operator=(const TMessageTarget &) = delete;

    // Called by a worker: has handler run on the owning thread and blocks as
    // release says. False when the message was dropped (target destroyed, owning
    // thread ended) and the handler will not run; a posted message can still be
    // dropped after Send returned true. Called on the owning thread itself, it
    // runs the handler at once.
    bool Send(std::function<void()> handler, TRelease release);
    // Queues handler behind every message waiting now, from any thread, the
    // owning one included: work that must not run inside the current handling
    // (the rest of a long input, an action deferred until a host's callback has
    // returned) runs at the queue's next processing, after what came before it.
    // False when the target is gone or the queue closed.
    bool Post(std::function<void()> handler);
    // Called on the owning thread: handles this target's messages waiting now,
    // in their order, leaving every other message waiting; returns how many.
    int HandleWaiting();
    TMessageQueue &Queue() const { return *queue_; }

private:
    std::shared_ptr<TMessageQueue> queue_;
    std::shared_ptr<TMessageQueue::TTargetState> state_;
};
