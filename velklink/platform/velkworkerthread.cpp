#include "velkworkerthread.h"

TWorkerThread::TWorkerThread(std::function<void()> body) : queue_(TMessageQueue::CurrentShared()) {
    thread_ = std::thread([this, body = std::move(body)] {
        RunReportingErrors(body);
        finished_.store(true);
        queue_->Wake();
    });
}

TWorkerThread::~TWorkerThread() {
    Join();
}

void TWorkerThread::Join() {
    if (!thread_.joinable())
        return;
    if (queue_->IsOwnerThread())
        queue_->ProcessUntil([this] { return finished_.load(); });
    thread_.join();
}
