#include "ctlsession.h"

#include "ctlconsole.h"
#include "ctlerror.h"
#include "ctlnumbers.h"
#include "ctlportinfo.h"
#include "velkcodepage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

namespace {

// The lines the transfer engine logs when an exchange fails, by error number.
const char *FailureLine(int32_t error) {
    switch (error) {
    case heLinkTimeout:
        return "Timeout nel protocollo a basso livello.";
    case heLinkError:
        return "Errore nel protocollo a basso livello.";
    case heInvalidPacket:
        return "Pacchetto non valido";
    case heUnexpectedPacket:
        return "Pacchetto non aspettato";
    case heWriteRefused:
        return "Scrittura fallita.";
    case heReadRefused:
        return "Richiesta lettura rifiutata.";
    default:
        return "Errore sconosciuto.";
    }
}

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
    bool WaitFor() override { return session_.WaitRetrying(start_); }
    TBuffer &GetBuffer() override { return session_.Engine().GetBuffer(); }

private:
    void Start(std::function<void()> start) {
        start_ = std::move(start);
        start_();
    }

    TCtlSession &session_;
    std::function<void()> start_;
    std::vector<uint8_t> data_;
};

TCtlSession::TCtlSession(const TCtlOptions &options)
    : options_(options), progress_(options.Progress && !options.Quiet && TConsole::IsTerminal(stderr), stderr) {
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
    transport_.reset();
    stack_.reset();
}

void TCtlSession::OnTransferLine(const std::string &line) {
    lines_.push_back(line);
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
    lines_.clear();
    progress_.Begin(std::move(label), bytes);
}

bool TCtlSession::Wait() {
    const bool ok = Engine().WaitFor();
    progress_.End();
    answered_ = answered_ || ok;
    return ok;
}

bool TCtlSession::WaitRetrying(const std::function<void()> &restart) {
    for (int attempt = 1;; ++attempt) {
        if (Wait())
            return true;
        const int32_t error = Engine().GetError();
        // A refusal is the decoder's answer and comes again. A decoder that has
        // never answered in this session is most likely not there at all.
        const bool refused = error == heWriteRefused || error == heReadRefused;
        const bool silent = error == heLinkTimeout && !answered_;
        if (refused || silent || attempt > options_.Retries)
            return false;
        if (options_.Verbose || options_.TraceLink || options_.TraceTransfer) {
            HideProgress();
            std::cerr << "retry " << attempt << " of " << options_.Retries << " after: " << FailureText() << '\n'
                      << std::flush;
        }
        ++retried_;
        Settle();
        restart();
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
    while (Clock::now() - quietSince < Quiet && Clock::now() - start < Limit) {
        std::this_thread::sleep_for(Poll);
        if (stack_->Port().InputCount() > 0) {
            stack_->Port().DrainInput();
            quietSince = Clock::now();
        }
    }
}

std::string TCtlSession::FailureText() const {
    const std::string expected = FailureLine(Engine().GetError());
    // The engine's own line, with its packet dump where it has one.
    for (auto line = lines_.rbegin(); line != lines_.rend(); ++line)
        if (line->rfind(expected, 0) == 0)
            return Cp1252ToUtf8(*line);
    return Cp1252ToUtf8(expected);
}

void TCtlSession::Fail() {
    std::string text = FailureText();
    if (Engine().GetError() == heLinkTimeout && !answered_)
        text += ": no answer from the decoder: check the cable, the port and that it is powered";
    throw ECtlFailed(text);
}

std::string TCtlSession::Sync() {
    const auto start = [this] {
        Begin("sync", 0);
        Engine().SendSync();
    };
    start();
    if (!WaitRetrying(start))
        Fail();
    for (auto line = lines_.rbegin(); line != lines_.rend(); ++line)
        if (line->rfind("Decoder ", 0) == 0)
            return *line;
    return {};
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
    start();
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
