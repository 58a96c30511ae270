// TWorkerThread: a thread that serves an object owned by another thread (the
// port's event thread, a timer's thread). Joining it on the creating thread keeps
// handling that thread's message queue, because the worker may be waiting for
// the creating thread to take one of its messages.
#pragma once

#include "velkmessagequeue.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class TWorkerThread {
public:
    // Starts body at once. What body throws is reported through the error sink.
    explicit TWorkerThread(std::function<void()> body);
    // Joins.
    ~TWorkerThread();
    TWorkerThread(const TWorkerThread &) = delete;
    TWorkerThread &operator=(const TWorkerThread &) = delete;

    // Waits until body has returned. On the creating thread its message queue is
    // handled meanwhile; on any other thread this is a plain join.
    void Join();

private:
    std::shared_ptr<TMessageQueue> queue_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};
