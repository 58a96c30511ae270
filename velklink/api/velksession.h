// TSession: one session of the session interface. It has a thread of its own
// on which the decoder (TSessionDecoder) is made, used and freed, so the
// session's engines, timers and port events never depend on which thread the
// host calls from. A call hands its work to that thread through the thread's
// message queue and blocks until the work has been handled; one call runs at
// a time. Between calls the thread waits on its queue.
//
// Thread rule: Call, Cancel and the destructor may be called from any thread
// but the session's own (a call from there, i.e. from inside a callback, is
// refused with VELK_ERR_BUSY); Cancel also from a signal handler.
#pragma once

#include "velklink.h"
#include "velkmessagequeue.h"
#include "velksessiondecoder.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class TSession {
public:
    // Opens the port (Windows-1252 name) on the session's new thread; raises
    // the TSessionFailure of the open.
    explicit TSession(const std::string &port);
    // Cancels a running call and waits for it to end, then frees the decoder
    // on its thread (closing the port) and ends the thread.
    ~TSession();
    TSession(const TSession &) = delete;
    TSession &operator=(const TSession &) = delete;

    // Runs work on the session's thread and returns its result: VELK_OK, the
    // code of the TSessionFailure it raised (its text becomes the message), or
    // VELK_ERR_BUSY at once while another call runs or from the session's
    // own thread. closeNow: a velk_close from inside the call's callbacks
    // asked for the session to be freed, which the caller does now; decided
    // while the call still holds the session, since a close from another
    // thread may free it as soon as the call has let go.
    velk_result Call(const std::function<void(TSessionDecoder &decoder)> &work, bool &closeNow);
    // Ends the running call soon with VELK_ERR_CANCELLED: the decoder checks
    // the flag at least every 20 ms while it waits. Async-signal-safe.
    void Cancel() noexcept { cancel_.store(true); }
    const char *Message() const { return message_.c_str(); }
    // The system's error code behind the last failure, 0 when none.
    int32_t SystemCode() const { return systemCode_; }
    bool OnSessionThread() const { return std::this_thread::get_id() == thread_.get_id(); }

    // A velk_close from inside a callback: done by the call once it has returned.
    void CloseAfterCall() { closeAfterCall_.store(true); }

private:
    // The session thread's loop between calls: waits for work on its queue.
    void Run();

    static_assert(std::atomic<bool>::is_always_lock_free, "velk_cancel sets the flag from signal handlers");
    std::atomic<bool> cancel_{false};
    std::atomic<bool> closeAfterCall_{false};
    std::mutex call_; // held by the running call
    std::string message_;
    int32_t systemCode_ = 0;
    // Made and freed on the session's thread.
    std::unique_ptr<TSessionDecoder> decoder_;
    std::unique_ptr<TMessageTarget> target_;
    bool stop_ = false; // the session's thread leaves its loop
    std::thread thread_;
};
