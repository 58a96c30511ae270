// velk_Timer: a one-shot countdown with a thread of its own whose expiry is
// handled on the thread that created the timer. The link engine owns two (the
// response and the packet-completion time-outs).
//
// Start clears the stop signal and sets the start signal; Stop clears the start
// signal and sets the stop signal. The timer thread takes the start signal and
// counts Interval ms unless a Stop comes. So a Stop right before a Start ends the
// old countdown and the new one runs in full; a Start during a countdown does
// not restart it, but the start signal it leaves makes a new countdown begin as
// soon as the running one has expired. On expiry the timer thread blocks until
// the handler has returned on the creating thread, which runs it only while it
// processes its message queue. An expiry already on its way cannot be withdrawn
// by Stop: the handler is told which Start began the countdown, so it can
// ignore an expiry that it has already stopped or superseded.
#pragma once

#include "velkmessagequeue.h"
#include "velkworkerthread.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class velk_Timer {
public:
    // countdown: the number that the Start whose start signal began the expired
    // countdown returned.
    using THandler = std::function<void(velk_Timer &sender, uint64_t countdown)>;

    // Created on the owning thread; starts stopped.
    velk_Timer(uint32_t intervalMs, THandler onTimer);
    // Waits for a running countdown (begun by a Start not yet stopped) to end,
    // its expiry still handled, while handling the creating thread's messages;
    // a stopped timer ends at once.
    ~velk_Timer();
    velk_Timer(const velk_Timer &) = delete;
    velk_Timer &operator=(const velk_Timer &) = delete;

    // Returns the number of this Start: 1, 2, ...
    uint64_t Start();
    void Stop();
    uint32_t Interval() const { return interval_; }

private:
    void Run();

    const uint32_t interval_;
    const THandler onTimer_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool startSignal_ = false;
    std::chrono::steady_clock::time_point startedAt_{}; // when the last Start came
    bool idle_ = false;                                 // the thread waits for a start signal, not in a countdown
    uint64_t starts_ = 0;                               // Starts so far; the last one owns the start signal
    uint64_t stops_ = 0;                                // Stops so far; a change during a countdown ends it
    bool terminate_ = false;
    TMessageTarget target_; // the creating thread's queue
    std::unique_ptr<TWorkerThread> thread_;
};
