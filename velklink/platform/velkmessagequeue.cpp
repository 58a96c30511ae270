#include "velkmessagequeue.h"

#include "velkerror.h"
#include "velkerrorsink.h"

#include <algorithm>

TMessageQueue &TMessageQueue::Current() {
    return *CurrentShared();
}

TMessageQueue::TMessageQueue(TKey) : owner_(std::this_thread::get_id()) {}

TMessageQueue::~TMessageQueue() = default;

size_t TMessageQueue::Waiting() const {
    std::lock_guard lock(mutex_);
    return messages_.size();
}

void TMessageQueue::UpdateSignalLocked() {
    if (messages_.empty())
        signal_.Lower();
    else
        signal_.Raise();
}

void TMessageQueue::RunAccepted(TMessage &message) {
    RunReportingErrors(message.handler);
    message.handler = nullptr; // its captures die on this thread
    {
        std::lock_guard lock(mutex_);
        message.stage = TStage::Handled;
    }
    if (message.releaseAt != TStage::Waiting)
        released_.notify_all();
}

int TMessageQueue::ProcessMessages() {
    size_t waiting;
    {
        std::lock_guard lock(mutex_);
        waiting = messages_.size();
    }
    int handled = 0;
    for (size_t i = 0; i < waiting; ++i) {
        std::shared_ptr<TMessage> message;
        {
            std::lock_guard lock(mutex_);
            if (messages_.empty())
                break;
            message = std::move(messages_.front());
            messages_.pop_front();
            message->stage = TStage::Accepted;
            UpdateSignalLocked();
        }
        if (message->releaseAt != TStage::Waiting)
            released_.notify_all();
        RunAccepted(*message);
        ++handled;
    }
    return handled;
}

void TMessageQueue::ProcessUntil(const std::function<bool()> &finished) {
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            arrived_.wait(lock, [&] { return finished() || !messages_.empty(); });
            if (finished())
                return;
        }
        ProcessMessages();
    }
}

void TMessageQueue::Wake() {
    { std::lock_guard lock(mutex_); }
    arrived_.notify_all();
}

bool TMessageQueue::Send(const std::shared_ptr<TTargetState> &target, std::function<void()> handler, TStage releaseAt,
                         bool runOnOwner) {
    if (runOnOwner && IsOwnerThread()) {
        {
            std::lock_guard lock(mutex_);
            if (!target->alive)
                return false;
        }
        RunReportingErrors(handler);
        return true;
    }
    auto message = std::make_shared<TMessage>();
    message->target = target;
    message->handler = std::move(handler);
    message->releaseAt = releaseAt;
    std::unique_lock lock(mutex_);
    if (closed_ || !target->alive)
        return false;
    messages_.push_back(message);
    UpdateSignalLocked();
    arrived_.notify_all();
    if (releaseAt == TStage::Waiting)
        return true;
    released_.wait(lock, [&] {
        return message->stage == TStage::Dropped ||
               static_cast<int>(message->stage) >= static_cast<int>(message->releaseAt);
    });
    return message->stage != TStage::Dropped;
}

void TMessageQueue::DropTarget(const std::shared_ptr<TTargetState> &target) {
    {
        std::lock_guard lock(mutex_);
        target->alive = false;
        auto dropped = std::stable_partition(messages_.begin(), messages_.end(),
                                             [&](const auto &m) { return m->target != target; });
        for (auto it = dropped; it != messages_.end(); ++it)
            (*it)->stage = TStage::Dropped;
        messages_.erase(dropped, messages_.end());
        UpdateSignalLocked();
    }
    released_.notify_all();
}

int TMessageQueue::HandleWaiting(const std::shared_ptr<TTargetState> &target) {
    std::deque<std::shared_ptr<TMessage>> own;
    {
        std::lock_guard lock(mutex_);
        auto others = std::stable_partition(messages_.begin(), messages_.end(),
                                            [&](const auto &m) { return m->target == target; });
        own.assign(messages_.begin(), others);
        messages_.erase(messages_.begin(), others);
        for (auto &message : own)
            message->stage = TStage::Accepted;
        UpdateSignalLocked();
    }
    released_.notify_all();
    for (auto &message : own)
        RunAccepted(*message);
    return static_cast<int>(own.size());
}

void TMessageQueue::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        for (auto &message : messages_)
            message->stage = TStage::Dropped;
        messages_.clear();
        UpdateSignalLocked();
        signal_.Close();
    }
    arrived_.notify_all();
    released_.notify_all();
}

TMessageTarget::TMessageTarget()
    : queue_(TMessageQueue::CurrentShared()), state_(std::make_shared<TMessageQueue::TTargetState>()) {}

TMessageTarget::~TMessageTarget() {
    queue_->DropTarget(state_);
}

bool TMessageTarget::Send(std::function<void()> handler, TRelease release) {
    using TStage = TMessageQueue::TStage;
    const TStage releaseAt = release == TRelease::Accepted  ? TStage::Accepted
                             : release == TRelease::Handled ? TStage::Handled
                                                            : TStage::Waiting;
    return queue_->Send(state_, std::move(handler), releaseAt);
}

bool TMessageTarget::Post(std::function<void()> handler) {
    return queue_->Send(state_, std::move(handler), TMessageQueue::TStage::Waiting, false);
}

int TMessageTarget::HandleWaiting() {
    return queue_->HandleWaiting(state_);
}
