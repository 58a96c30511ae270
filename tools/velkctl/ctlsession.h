// TCtlSession: one decoder on one serial port for the life of a velkctl
// command. It builds the library's decoder stack (port, link engine, transfer
// engine, record directory), opens the port and closes it again at the end. It
// connects the protocol logs to standard error (--trace) and the transfer
// events to the progress bar.
#pragma once

#include "ctlprogress.h"
#include "velkdecoderstack.h"
#include "velkerrorsink.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct TCtlOptions {
    std::string Port;
    bool TraceLink = false;
    bool TraceTransfer = false;
    bool Quiet = false;
    bool Progress = true;
    bool Verbose = false;
    // Status lines go to standard error: the command's data go to standard output.
    bool StatusToError = false;
    // How often a failed exchange is tried again (0: never).
    int Retries = 3;
};

class TCtlSession {
public:
    // Opens the port; EComPort when it cannot be opened. While it lives, the
    // library's errors out of the port's and the timers' handlers are shown
    // after the wait they interrupted, except the port's error of a line that
    // went away, which the failure's own message carries.
    explicit TCtlSession(const TCtlOptions &options);
    ~TCtlSession();
    TCtlSession(const TCtlSession &) = delete;
    TCtlSession &operator=(const TCtlSession &) = delete;

    // Each exchange runs to its end; one that fails is tried again up to
    // Retries times (a refusal by the decoder and a firmware upload never are)
    // and then raises ECtlFailed with the transfer engine's reason.
    // A line that went away fails with the port's message and that cause.
    // Synchronises; returns the engine's outcome line (Windows-1252).
    std::string Sync();
    std::vector<uint8_t> Read(THLSource source, uint32_t address, int32_t length);
    void Write(THLTarget target, std::span<const uint8_t> data, uint32_t address);
    // Exchanges tried again after a failure, so far.
    int Retried() const { return retried_; }

    velk_Records &Records() { return stack_->Records(); }
    // The bar the session's transfers move; commands of several transfers run
    // them under one overall bar (TOverallProgress).
    TProgressBar &Progress() { return progress_; }
    // The record store's way to the decoder, with progress.
    TRecordTransport &Transport();
    void Refresh(bool full);

private:
    class TTransport;

    void OnTransferLine(const std::string &line);
    void OnEngineEvent(int32_t code, int32_t value);
    void Begin(std::string label, int64_t bytes);
    // Starts an exchange; a start that meets a dead line fails with its cause.
    void Run(const std::function<void()> &start);
    bool Wait();
    // Waits for the running exchange; after a failure that may pass on a
    // second try, starts it again with restart and waits again.
    bool WaitRetrying(const std::function<void()> &restart);
    // Waits until the line has been quiet for a while, discarding what the
    // decoder still sends for an exchange that failed.
    void Settle();
    // The engine's own line for the failure of the last exchange, or the
    // line's loss with its cause.
    std::string FailureText() const;
    static std::string LineGoneText(const EComPort &error);
    static void VELK_CALL CollectError(const char *text);
    // Prints the library's errors heard since the last call.
    void ShowLibraryErrors();
    [[noreturn]] void Fail();
    velk_HLProtocol &Engine() const { return stack_->Transfer(); }

    // Sends the library's errors to the session while it lives.
    class TErrorRoute {
    public:
        explicit TErrorRoute(TCtlSession &session);
        ~TErrorRoute();
        TErrorRoute(const TErrorRoute &) = delete;
        TErrorRoute &operator=(const TErrorRoute &) = delete;

    private:
        TErrorSink previousSink_;
        TCtlSession *previousSession_;
    };

    TCtlOptions options_;
    TProgressBar progress_;
    std::vector<std::string> libraryErrors_; // Windows-1252
    TErrorRoute errorRoute_;
    std::unique_ptr<TDecoderStack> stack_;
    std::unique_ptr<TTransport> transport_;
    int retried_ = 0;
    bool answered_ = false; // the decoder has answered something in this session
};
