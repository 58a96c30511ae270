// The owning thread's blocking wait for its next message: on this platform the
// queue's own condition variable for arrivals is all there is to wait for.
#include "velkmessagequeue.h"

#include <chrono>

bool TMessageQueue::WaitForMessage(int timeoutMs) {
    std::unique_lock lock(mutex_);
    auto waiting = [this] { return !messages_.empty(); };
    if (timeoutMs < 0) {
        arrived_.wait(lock, waiting);
        return true;
    }
    return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), waiting);
}
