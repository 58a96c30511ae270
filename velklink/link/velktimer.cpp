#include "velktimer.h"

#include <chrono>

velk_Timer::velk_Timer(uint32_t intervalMs, THandler onTimer)
    : interval_(intervalMs), onTimer_(std::move(onTimer)) {
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
    {
        std::lock_guard lock(mutex_);
        startSignal_ = true;
        number = ++starts_;
    }
    changed_.notify_all();
    return number;
}

void velk_Timer::Stop() {
    {
        std::lock_guard lock(mutex_);
        startSignal_ = false;
        ++stops_;
    }
    changed_.notify_all();
}

void velk_Timer::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return startSignal_ || terminate_; });
        // A Start that the thread had not yet taken when destruction began still
        // counts, like one already counting.
        if (!startSignal_)
            break;
        startSignal_ = false;
        const uint64_t countdown = starts_;
        const uint64_t stopsBefore = stops_;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval_);
        // Termination does not cut a countdown short: its expiry is still delivered.
        const bool stopped = changed_.wait_until(lock, deadline, [&] { return stops_ != stopsBefore; });
        if (!stopped) {
            lock.unlock();
            target_.Send(
                [this, countdown] {
                    if (onTimer_)
                        onTimer_(*this, countdown);
                },
                TMessageTarget::TRelease::Handled);
            lock.lock();
        }
        if (terminate_)
            break;
    }
}
