// TSessionDecoder: the decoder of one session, on the session's own thread.
// It holds the decoder stack (port, engines, record directory, the stack's own
// logs), runs each operation of the session interface to its end, tries a
// failed exchange again when asked, relays progress and log lines to the
// host's callbacks with their context, and raises every failure as a
// TSessionFailure with its result code and a UTF-8 message.
//
// Thread rule: created, used and destroyed on the session's thread. Only the
// cancel flag it is given is written from other threads (and signal handlers).
#pragma once

#include "velkdecoderstack.h"
#include "velklink.h"
#include "velksessionfailure.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class TSessionDecoder {
public:
    struct TCallbacks {
        velk_progress_callback Progress = nullptr;
        void *ProgressContext = nullptr;
        velk_log_callback Log = nullptr;
        void *LogContext = nullptr;
        velk_retry_callback Retry = nullptr;
        void *RetryContext = nullptr;
    };

    // Opens the port (Windows-1252 name); TSessionFailure VELK_ERR_PORT when it
    // cannot be opened. A call ends with VELK_ERR_CANCELLED soon after cancel
    // becomes true.
    TSessionDecoder(const std::string &port, const std::atomic<bool> &cancel);
    ~TSessionDecoder();
    TSessionDecoder(const TSessionDecoder &) = delete;
    TSessionDecoder &operator=(const TSessionDecoder &) = delete;

    TCallbacks Callbacks;
    // How often a failed exchange is tried again (0: never).
    uint32_t Retries = 0;

    // Every operation raises TSessionFailure, and only that.
    // True when the decoder was synchronised already.
    bool Sync();
    void Read(THLSource source, uint32_t address, void *buffer, uint32_t length);
    void Write(THLTarget target, uint32_t address, const void *data, uint32_t length);
    // The item's size; its bytes copied into buffer when not null.
    uint32_t GetItem(const std::string &record, const std::string &item, void *buffer, uint32_t capacity);
    void PutItems(const std::string &record, std::span<const TRecordItemData> items);
    void DeleteItem(const std::string &record, const std::string &item);
    void Refresh(bool full);
    // Frees a slot holding a record, sound or damaged: written as the record
    // format marks a free slot; the directory changes once the write succeeded.
    void FreeSlot(uint32_t slot);
    velk_directory Directory();
    velk_slot_info Slot(uint32_t slot);
    velk_item_info Item(uint32_t slot, uint32_t index);

    // An error the library reported on the session's thread (a port or timer
    // handler that failed), Windows-1252: part of the message of the call
    // that fails next.
    void NoteError(const std::string &text);

private:
    class TTransport;

    velk_HLProtocol &Engine() { return stack_->Transfer(); }
    // Runs an operation: before it, discards what a cancelled or failed
    // exchange left on the line; turns what the engines and the record store
    // raise into a TSessionFailure.
    template <typename F> auto Run(F &&operation) -> decltype(operation());
    void Log(int32_t kind, const std::string &cp1252);
    void OnEvent(int32_t code, int32_t value);
    void Progress(uint32_t done);
    void CheckCancel() const;
    // Starts an exchange of total bytes; a start that meets a dead line fails.
    void Start(uint32_t total, const std::function<void()> &start);
    // Waits for the running exchange; a cancel ends it here.
    bool Wait();
    // Waits, starting the exchange again after a failure that may pass on a
    // second try, up to Retries times.
    bool WaitRetrying(const std::function<void()> &restart, bool mayRetry);
    // Waits until the line has been quiet for a while, discarding what the
    // decoder still sends for an exchange that failed or was cancelled.
    void Settle();
    // The failure of the last exchange as the session reports it.
    TSessionFailure ExchangeFailure();
    // Raises the failure of the last exchange.
    [[noreturn]] void Fail();

    const std::atomic<bool> &cancel_;
    std::unique_ptr<TDecoderStack> stack_;
    std::unique_ptr<TTransport> transport_;
    std::vector<std::string> errors_; // noted during the current operation, Windows-1252
    // The failure of an exchange under the record store's current operation.
    std::optional<TSessionFailure> recordExchangeFailure_;
    bool answered_ = false;  // the decoder has answered something in this session
    bool unsettled_ = false; // an exchange was cancelled or failed: the line may still carry its answer
    uint32_t total_ = 0;     // bytes of the exchange in progress
    int32_t packets_ = 0;    // link packets of its transmission, once known
    uint32_t lastDone_ = 0;  // the count last reported
};
