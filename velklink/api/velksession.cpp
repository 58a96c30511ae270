#include "velksession.h"

#include "velkerrorsink.h"

#include <condition_variable>
#include <exception>

TSession::TSession(const std::string &port) {
    // The open's outcome, handed from the session's thread.
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    std::exception_ptr failure;
    const auto finish = [&](std::exception_ptr error) {
        std::lock_guard<std::mutex> lock(mutex);
        failure = std::move(error);
        done = true;
        changed.notify_all();
    };
    thread_ = std::thread([this, port, &finish] {
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
            TMessageQueue::ReleaseCurrent();
            finish(std::current_exception());
            return;
        }
        finish(nullptr);
        Run();
    });
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return done; });
    if (failure) {
        lock.unlock();
        thread_.join();
        std::rethrow_exception(failure);
    }
}

void TSession::Run() {
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

velk_result TSession::Call(const std::function<void(TSessionDecoder &decoder)> &work, bool &closeNow) {
    closeNow = false;
    if (OnSessionThread())
        return VELK_ERR_BUSY;
    std::unique_lock<std::mutex> lock(call_, std::try_to_lock);
    if (!lock.owns_lock())
        return VELK_ERR_BUSY;
    cancel_.store(false);
    velk_result result = VELK_OK;
    std::string message;
    int32_t systemCode = 0;
    const bool handled = target_->Send(
        [&] {
            try {
                work(*decoder_);
            } catch (const TSessionFailure &failure) {
                result = failure.Code();
                message = failure.what();
                systemCode = failure.SystemCode();
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
    systemCode_ = systemCode;
    closeNow = closeAfterCall_.load();
    return result;
}
