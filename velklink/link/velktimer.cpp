#include "velktimer.h"

#include <algorithm>
#include <chrono>

velk_Timer::velk_Timer(uint32_t intervalMs, THandler onTimer) : interval_(intervalMs), onTimer_(std::move(onTimer)) {
    thread_ = std::make_unique<TWorkerThread>([this] { Run(); });
}

velk_Timer::~velk_Timer() {
    {
        std::lock_guard lock(mutex_);
        terminate_ = true;
    }
    changed_.notify_all();
    thread_->Join();
}

uint64_t velk_Timer::Start() {
    uint64_t number;
    bool wake;
    {
        std::lock_guard lock(mutex_);
        startSignal_ = true;
        startedAt_ = std::chrono::steady_clock::now();
        number = ++starts_;
        wake = idle_;
    }
    // A thread still in a countdown takes the signal when that countdown ends:
    // only an idle thread needs waking.
    if (wake)
        changed_.notify_all();
    return number;
}

void velk_Timer::Stop() {
    // The thread is not woken: the stopped countdown ends without expiry when
    // its time is up, and a Start meanwhile still counts from its own moment.
    std::lock_guard lock(mutex_);
    startSignal_ = false;
    ++stops_;
}

void velk_Timer::Run() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    // When the last countdown ended by its expiry; a start signal left during
    // a countdown counts from then.
    Clock::time_point expiredAt{};
    for (;;) {
        idle_ = true;
        changed_.wait(lock, [this] { return startSignal_ || terminate_; });
        idle_ = false;
        // A Start that the thread had not yet taken when destruction began still
        // counts, like one already counting.
        if (!startSignal_)
            break;
        startSignal_ = false;
        const uint64_t countdown = starts_;
        const uint64_t stopsBefore = stops_;
        const auto deadline = std::max(startedAt_, expiredAt) + std::chrono::milliseconds(interval_);
        // Termination does not cut a countdown short: its expiry is still
        // delivered. A Stop does not wake the thread (the predicate sees it at
        // the latest when the time is up), destruction does.
        const bool stopped =
            changed_.wait_until(lock, deadline, [&] { return stops_ != stopsBefore; }) || stops_ != stopsBefore;
        if (!stopped) {
            lock.unlock();
            target_.Send(
                [this, countdown] {
                    if (onTimer_)
                        onTimer_(*this, countdown);
                },
                TMessageTarget::TRelease::Handled);
            lock.lock();
            expiredAt = Clock::now();
            if (terminate_)
                break;
        } else if (terminate_ && !startSignal_) {
            // A Start after the Stop would have been taken already had the Stop
            // woken the thread: it still counts.
            break;
        }
    }
}
