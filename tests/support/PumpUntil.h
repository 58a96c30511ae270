// Handles the calling thread's message queue (port notices, timer expiries)
// until a condition holds or the time is up, as a host's message loop would.
#pragma once

#include "velkmessagequeue.h"

#include <chrono>
#include <functional>

inline bool PumpUntil(const std::function<bool()> &done, int timeoutMs = 10000) {
    TMessageQueue &queue = TMessageQueue::Current();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        queue.WaitForMessage(static_cast<int>(std::min<long long>(left.count(), 50)));
        queue.ProcessMessages();
    }
    return true;
}

// Handles the queue's messages as they arrive until timeoutMs has passed;
// returns how many.
inline int ProcessMessagesFor(TMessageQueue &queue, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int handled = 0;
    for (;;) {
        handled += queue.ProcessMessages();
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return handled;
        queue.WaitForMessage(static_cast<int>(left.count()));
    }
}
