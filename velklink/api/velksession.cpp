#include "velksession.h"

#include "velkerrorsink.h"

#include <future>

TSession::TSession(const std::string &port) {
    std::promise<void> opened;
    std::future<void> result = opened.get_future();
    thread_ = std::thread([this, port, &opened] {
        // The errors of the session's port and timer handlers, which run on
        // this thread, belong to the session's next failure.
        TErrorRoute route([this](const std::string &text) {
            if (decoder_)
                decoder_->NoteError(text);
        });
        try {
            decoder_ = std::make_unique<TSessionDecoder>(port, cancel_);
            target_ = std::make_unique<TMessageTarget>();
        } catch (...) {
            decoder_.reset();
            opened.set_exception(std::current_exception());
            TMessageQueue::ReleaseCurrent();
            return;
        }
        opened.set_value();
        Run(port);
    });
    try {
        result.get();
    } catch (...) {
        thread_.join();
        throw;
    }
}

void TSession::Run(const std::string &) {
    TMessageQueue &queue = TMessageQueue::Current();
    while (!stop_) {
        queue.WaitForMessage(-1);
        queue.ProcessMessages();
    }
    target_.reset();
    decoder_.reset();
    TMessageQueue::ReleaseCurrent();
}

TSession::~TSession() {
    Cancel();
    // A call running on another thread ends within a second of the cancel.
    std::lock_guard<std::mutex> lock(call_);
    target_->Send([this] { stop_ = true; }, TMessageTarget::TRelease::Posted);
    thread_.join();
}

velk_result TSession::Call(const std::function<void(TSessionDecoder &decoder)> &work) {
    if (OnSessionThread())
        return VELK_ERR_BUSY;
    std::unique_lock<std::mutex> lock(call_, std::try_to_lock);
    if (!lock.owns_lock())
        return VELK_ERR_BUSY;
    cancel_.store(false);
    velk_result result = VELK_OK;
    std::string message;
    const bool handled = target_->Send(
        [&] {
            try {
                work(*decoder_);
            } catch (const TSessionFailure &failure) {
                result = failure.Code();
                message = failure.what();
            } catch (const std::exception &error) {
                result = VELK_ERR_PROTOCOL;
                message = error.what();
            }
        },
        TMessageTarget::TRelease::Handled);
    if (!handled) {
        result = VELK_ERR_PORT;
        message = "the session has ended";
    }
    message_ = std::move(message);
    return result;
}
