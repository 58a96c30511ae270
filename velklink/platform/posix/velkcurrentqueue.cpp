// The calling thread's queue, kept in a thread_local holder: when the thread
// ends the queue is closed, so workers still posting to it are released
// instead of waiting for ever.
#include "velkmessagequeue.h"

#include <utility>

namespace {

struct TQueueHolder {
    std::shared_ptr<TMessageQueue> queue;
    ~TQueueHolder() {
        if (queue)
            queue->Close();
    }
};

thread_local TQueueHolder t_holder;

} // namespace

std::shared_ptr<TMessageQueue> TMessageQueue::CurrentShared() {
    if (!t_holder.queue)
        t_holder.queue = std::make_shared<TMessageQueue>(TKey{});
    return t_holder.queue;
}

void TMessageQueue::ReleaseCurrent() {
    if (auto queue = std::exchange(t_holder.queue, nullptr))
        queue->Close();
}
