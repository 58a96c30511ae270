#include "ctlsession.h"

#include "ctlcommands.h"
#include "ctlconsole.h"
#include "ctlerror.h"
#include "ctlnumbers.h"
#include "ctlopenfailure.h"
#include "ctlportinfo.h"
#include "velkcodepage.h"
#include "velkerrorsink.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

namespace {

// The session that hears the library's errors, on the thread that runs it.
thread_local TCtlSession *collecting = nullptr;

void Trace(const char *log, const std::string &line) {
    HideProgress();
    std::cerr << log << ": " << Cp1252ToUtf8(line) << '\n' << std::flush;
}

std::string TransferLabel(const char *what, uint32_t address, bool flash) {
    char text[48];
    std::snprintf(text, sizeof text, flash ? "%s 0x%08X" : "%s EEPROM 0x%04X", what, address);
    return text;
}

} // namespace

// The record store's transport: the transfer engine with the progress bar and
// the retries. Each start is remembered (with a copy of the bytes of a write)
// so that the wait can run it again.
class TCtlSession::TTransport : public TRecordTransport {
public:
    explicit TTransport(TCtlSession &session) : session_(session) {}

    void ReadFlash(uint32_t address, int32_t length) override {
        Start([this, address, length] {
            session_.Begin(TransferLabel("read", address, true), length);
            session_.Engine().ReadFlash(address, length);
        });
    }
    void SendFlash(const void *data, uint32_t address, int32_t length) override {
        const auto *bytes = static_cast<const uint8_t *>(data);
        data_.assign(bytes, bytes + std::max(length, 0));
        Start([this, address, length] {
            session_.Begin(TransferLabel("write", address, true), length);
            session_.Engine().SendFlash(data_.data(), address, length);
        });
    }
    void ReadEeprom(uint32_t address, int32_t length) override {
        Start([this, address, length] {
            session_.Begin(TransferLabel("read", address, false), length);
            session_.Engine().ReadEeprom(address, length);
        });
    }
    // A dead line ends the command here with its cause, not with the record
    // store's message about the transfer that failed.
    // So does a decoder that has never answered: the record store would
    // blame the record it was reading.
    bool WaitFor() override {
        const bool ok = session_.WaitRetrying(start_);
        const THLOutcome outcome = session_.Engine().LastEnd().Outcome;
        if (!ok && (outcome == hoLineFailed || (outcome == hoNoAnswer && !session_.answered_)))
            session_.Fail();
        return ok;
    }
    TBuffer &GetBuffer() override { return session_.Engine().GetBuffer(); }

private:
    void Start(std::function<void()> start) {
        start_ = std::move(start);
        session_.Run(start_);
    }

    TCtlSession &session_;
    std::function<void()> start_;
    std::vector<uint8_t> data_;
};

TCtlSession::TCtlSession(const TCtlOptions &options)
    : options_(options), progress_(options.Progress && !options.Quiet && TConsole::IsTerminal(stderr), stderr),
      errorRoute_(*this) {
    stack_ = std::make_unique<TDecoderStack>(TDecoderStack::THandlers{
        [this](velk_Log &, const std::string &line) {
            if (options_.TraceLink)
                Trace("link", line);
        },
        [this](velk_Log &, const std::string &line) { OnTransferLine(line); },
        [this](velk_HLProtocol &, int32_t code, int32_t value) { OnEngineEvent(code, value); }});
    transport_ = std::make_unique<TTransport>(*this);

    velk_CPort &port = stack_->Port();
    port.SetPort(Utf8ToCp1252(options_.Port));
    port.Open();
    if (!options_.Quiet) {
        const std::string device = Cp1252ToUtf8(TCustomComPort::DevicePath(Utf8ToCp1252(options_.Port)));
        if (const std::string advice = LatencyAdvice(DescribePort(device)); !advice.empty())
            std::cerr << "velkctl: warning: " << advice << '\n' << std::flush;
    }
}

TCtlSession::~TCtlSession() {
    progress_.End();
    try {
        stack_->Port().Close();
    } catch (const std::exception &) {
        // The process ends next; the descriptor goes with it.
    }
    ShowLibraryErrors();
    transport_.reset();
    stack_.reset();
}

TCtlSession::TErrorRoute::TErrorRoute(TCtlSession &session)
    : previousSink_(SetErrorSink(&TCtlSession::CollectError)), previousSession_(collecting) {
    collecting = &session;
}

TCtlSession::TErrorRoute::~TErrorRoute() {
    collecting = previousSession_;
    SetErrorSink(previousSink_);
}

void VELK_CALL TCtlSession::CollectError(const char *text) {
    if (collecting)
        collecting->libraryErrors_.emplace_back(text ? text : "");
}

void TCtlSession::ShowLibraryErrors() {
    std::vector<std::string> errors = std::move(libraryErrors_);
    libraryErrors_.clear();
    // The port's error of a dead line is part of the failure's own message.
    const THLExchangeEnd &end = Engine().LastEnd();
    for (const std::string &text : errors)
        if (!(end.Outcome == hoLineFailed && end.LineError && end.LineError->Message() == text))
            PrintError(Cp1252ToUtf8(text));
}

void TCtlSession::OnTransferLine(const std::string &line) {
    if (options_.TraceTransfer)
        Trace("transfer", line);
}

void TCtlSession::OnEngineEvent(int32_t code, int32_t value) {
    switch (code) {
    case hpWriteStart:
    case hpReadStart:
        progress_.Packets(value);
        break;
    case hpWritePacket:
    case hpReadPacket:
        progress_.Advance(value);
        break;
    default:
        break;
    }
}

void TCtlSession::Begin(std::string label, int64_t bytes) {
    progress_.Begin(std::move(label), bytes);
}

void TCtlSession::Run(const std::function<void()> &start) {
    try {
        start();
    } catch (const EComPort &error) {
        // A line that went away between two exchanges shows when the next
        // one writes its first packet.
        if (Engine().LastEnd().Outcome == hoLineFailed)
            Fail();
        throw;
    }
}

bool TCtlSession::Wait() {
    const bool ok = Engine().WaitFor();
    progress_.End();
    answered_ = answered_ || Engine().LastEnd().Answered;
    ShowLibraryErrors();
    return ok;
}

bool TCtlSession::WaitRetrying(const std::function<void()> &restart) {
    for (int attempt = 1;; ++attempt) {
        if (Wait())
            return true;
        const THLOutcome outcome = Engine().LastEnd().Outcome;
        // A refusal is the decoder's answer and comes again. A decoder that has
        // never answered in this session is most likely not there at all, and a
        // line that went away does not come back by itself.
        const bool refused = outcome == hoRefused;
        const bool silent = outcome == hoNoAnswer && !answered_;
        if (refused || silent || outcome == hoLineFailed || attempt > options_.Retries)
            return false;
        // A retry is said, so that a decoder that stopped answering does not
        // look like a hang; -v gives the reason.
        if (options_.Verbose || options_.TraceLink || options_.TraceTransfer) {
            HideProgress();
            std::cerr << "retry " << attempt << " of " << options_.Retries << " after: " << FailureText() << '\n'
                      << std::flush;
        } else if (!options_.Quiet) {
            HideProgress();
            const bool silent = outcome == hoNoAnswer || outcome == hoTimedOut;
            std::cerr << (silent ? "no answer" : "the exchange failed") << "; trying again (" << attempt << " of "
                      << options_.Retries << ")\n"
                      << std::flush;
        }
        ++retried_;
        Settle();
        Run(restart);
    }
}

void TCtlSession::Settle() {
    // The decoder may still be answering the exchange that failed: a DATA
    // packet of that answer arriving while the new exchange waits for an ACK
    // would end the new one too. The decoder sends its next packet only after
    // an answer from the PC, so once the line has been quiet for a while
    // nothing more comes until the new exchange begins.
    using Clock = std::chrono::steady_clock;
    constexpr auto Quiet = std::chrono::milliseconds(300); // over the line time of a whole DATA packet (177 ms)
    constexpr auto Poll = std::chrono::milliseconds(20);
    constexpr auto Limit = std::chrono::seconds(3);
    const auto start = Clock::now();
    auto quietSince = start;
    try {
        while (Clock::now() - quietSince < Quiet && Clock::now() - start < Limit) {
            std::this_thread::sleep_for(Poll);
            if (stack_->Port().InputCount() > 0) {
                stack_->Port().DrainInput();
                quietSince = Clock::now();
            }
        }
    } catch (const EComPort &error) {
        throw ECtlFailed(LineGoneText(error));
    }
}

std::string TCtlSession::LineGoneText(const EComPort &error) {
    // The port's own message, then what happened, as for a port that cannot
    // be opened.
    return Cp1252ToUtf8(error.Message()) +
           " - the line went away (the adapter was unplugged or the far end closed it): " +
           SystemErrorText(error.SystemCode());
}

std::string TCtlSession::FailureText() const {
    const THLExchangeEnd &end = Engine().LastEnd();
    if (end.Outcome == hoLineFailed && end.LineError)
        return LineGoneText(*end.LineError);
    // The engine's own line, with its packet dump where it has one.
    return Cp1252ToUtf8(end.Message.empty() ? std::string("Errore sconosciuto.") : end.Message);
}

void TCtlSession::Fail() {
    std::string text = FailureText();
    if (Engine().LastEnd().Outcome == hoNoAnswer && !answered_) {
        // The engine's line ends with its own full stop.
        if (!text.empty() && text.back() == '.')
            text.pop_back();
        text += ": no answer from the decoder: check the cable, the port and that it is powered";
    }
    throw ECtlFailed(text);
}

std::string TCtlSession::Sync() {
    const auto start = [this] {
        Begin("sync", 0);
        Engine().SendSync();
    };
    Run(start);
    if (!WaitRetrying(start))
        Fail();
    return Engine().LastEnd().Message;
}

std::vector<uint8_t> TCtlSession::Read(THLSource source, uint32_t address, int32_t length) {
    if (source == hlsFlash)
        transport_->ReadFlash(address, length);
    else
        transport_->ReadEeprom(address, length);
    if (!transport_->WaitFor())
        Fail();
    const TBuffer &buffer = Engine().GetBuffer();
    return std::vector<uint8_t>(buffer.Memory(), buffer.Memory() + buffer.Size());
}

void TCtlSession::Write(THLTarget target, std::span<const uint8_t> data, uint32_t address) {
    const auto length = static_cast<int32_t>(data.size());
    const auto start = [this, target, data, address, length] {
        switch (target) {
        case hltFlash:
            Begin(TransferLabel("write", address, true), length);
            break;
        case hltEeprom:
            Begin(TransferLabel("write", address, false), length);
            break;
        case hltFirmware:
            Begin("firmware", length);
            break;
        }
        Engine().Write(target, data.data(), address, length);
    };
    Run(start);
    // A firmware upload is not repeated: the decoder may have begun to take it.
    const bool ok = target == hltFirmware ? Wait() : WaitRetrying(start);
    if (!ok)
        Fail();
}

TRecordTransport &TCtlSession::Transport() {
    return *transport_;
}

void TCtlSession::Refresh(bool full) {
    stack_->Records().Refresh(*transport_, full);
}
