// TQueueSignal: what tells the owning thread's event loop that messages wait
// in its queue: an eventfd, readable exactly while they do.
#pragma once

#include "velkdescriptor.h"

#include <cstdint>

class TQueueSignal {
public:
    // Created on the owning thread.
    TQueueSignal();

    // Messages wait / none waits any more; called under the queue's lock.
    void Raise();
    void Lower();
    // The descriptor a host's loop watches for reading.
    int32_t Handle() const { return event_.Get(); }
    // The thread that owns the queue ends.
    void Close() {}

private:
    TDescriptor event_;
    bool raised_ = false;
};
