// TQueueSignal: what tells the owning thread that messages wait in its queue.
// Two things at once, so that every kind of host is served:
// - a manual-reset event, signalled exactly while messages wait: the handle of
//   GetMessageHandle, for hosts that wait with MsgWaitForMultipleObjects, and
//   what the library's own waits block on;
// - a message-only window of the owning thread, to which the first message of
//   a batch posts a wake-up: any message loop of the thread (the host's own,
//   a modal dialog's, a message box's) dispatches it, and the window handles
//   the queue.
#pragma once

#include "velkhandle.h"

#include <atomic>
#include <cstdint>

class TQueueSignal {
public:
    // Created on the owning thread, for its queue.
    TQueueSignal();
    ~TQueueSignal();
    TQueueSignal(const TQueueSignal &) = delete;
    TQueueSignal &operator=(const TQueueSignal &) = delete;

    // Messages wait / none waits any more; called under the queue's lock.
    void Raise();
    void Lower();
    // The event's handle as the 32-bit value GetMessageHandle returns (kernel
    // handles fit in 32 bits on 64-bit Windows too).
    int32_t Handle() const { return static_cast<int32_t>(reinterpret_cast<intptr_t>(event_.Get())); }
    THandle::Native Event() const { return event_.Get(); }
    // The owning thread ends: its window goes.
    void Close();
    // The window has received a wake-up (on the owning thread).
    void Woken() { wakePosted_.store(false); }
    // Whether a window message taken off the thread's queue is this queue's
    // wake-up; if so it counts as received, without handling the queue.
    bool AbsorbWake(void *window, unsigned message);

private:
    THandle event_;
    void *window_ = nullptr; // HWND
    // A wake-up is in the thread's message queue and has not been dispatched:
    // no second one is posted, so a thread that never pumps collects only one.
    std::atomic<bool> wakePosted_{false};
};
