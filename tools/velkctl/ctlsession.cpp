#include "ctlsession.h"

#include "ctlbackup.h"
#include "ctlerror.h"
#include "ctlnumbers.h"
#include "velkcodepage.h"
#include "velkcport.h"
#include "velkllprotocol.h"
#include "velklog.h"

#include <unistd.h>

#include <cstdio>

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
    std::fprintf(stderr, "%s: %s\n", log, Cp1252ToUtf8(line).c_str());
}

std::string TransferLabel(const char *what, uint32_t address, bool flash) {
    char text[48];
    std::snprintf(text, sizeof text, flash ? "%s 0x%08X" : "%s EEPROM 0x%04X", what, address);
    return text;
}

} // namespace

// The record store's transport: the transfer engine with the progress bar.
class TCtlSession::TTransport : public TRecordTransport {
public:
    explicit TTransport(TCtlSession &session) : session_(session) {}

    void ReadFlash(uint32_t address, int32_t length) override {
        session_.Begin(TransferLabel("read", address, true), length);
        session_.engine_->ReadFlash(address, length);
    }
    void SendFlash(const void *data, uint32_t address, int32_t length) override {
        session_.Begin(TransferLabel("write", address, true), length);
        session_.engine_->SendFlash(data, address, length);
    }
    void ReadEeprom(uint32_t address, int32_t length) override {
        session_.Begin(TransferLabel("read", address, false), length);
        session_.engine_->ReadEeprom(address, length);
    }
    bool WaitFor() override { return session_.Wait(); }
    TBuffer &GetBuffer() override { return session_.engine_->GetBuffer(); }

private:
    TCtlSession &session_;
};

TCtlSession::TCtlSession(const TCtlOptions &options)
    : options_(options), progress_(options.Progress && !options.Quiet && isatty(STDERR_FILENO), stderr) {
    LinkLog().OnLog = [this](velk_Log &, const std::string &line) {
        if (options_.TraceLink)
            Trace("link", line);
    };
    TransferLog().OnLog = [this](velk_Log &, const std::string &line) { OnTransferLine(line); };

    port_ = std::make_unique<velk_CPort>();
    port_->SetBaudRate(br115200);
    port_->SetSyncMethod(smWindowSync);
    link_ = std::make_unique<velk_LLProtocol>(*port_);
    engine_ = std::make_unique<velk_HLProtocol>(
        *link_, [this](velk_HLProtocol &, int32_t code, int32_t value) { OnEngineEvent(code, value); });
    transport_ = std::make_unique<TTransport>(*this);
    records_ = std::make_unique<velk_Records>(RecordAreaBase, RecordSlots);

    port_->SetPort(Utf8ToCp1252(options_.Port));
    port_->Open();
}

TCtlSession::~TCtlSession() {
    progress_.End();
    try {
        port_->Close();
    } catch (const std::exception &) {
        // The process ends next; the descriptor goes with it.
    }
    records_.reset();
    transport_.reset();
    engine_.reset();
    link_.reset();
    port_.reset();
    LinkLog().OnLog = nullptr;
    TransferLog().OnLog = nullptr;
}

void TCtlSession::OnTransferLine(const std::string &line) {
    lines_.push_back(line);
    if (options_.TraceTransfer) {
        progress_.End();
        Trace("transfer", line);
    }
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
    const bool ok = engine_->WaitFor();
    progress_.End();
    return ok;
}

void TCtlSession::Fail() {
    const std::string expected = FailureLine(engine_->GetError());
    // The engine's own line, with its packet dump where it has one.
    for (auto line = lines_.rbegin(); line != lines_.rend(); ++line)
        if (line->rfind(expected, 0) == 0)
            throw ECtlFailed(Cp1252ToUtf8(*line));
    throw ECtlFailed(Cp1252ToUtf8(expected));
}

std::string TCtlSession::Sync() {
    Begin("sync", 0);
    engine_->SendSync();
    if (!Wait())
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
    if (!Wait())
        Fail();
    const TBuffer &buffer = engine_->GetBuffer();
    return std::vector<uint8_t>(buffer.Memory(), buffer.Memory() + buffer.Size());
}

void TCtlSession::Write(THLTarget target, std::span<const uint8_t> data, uint32_t address) {
    const auto length = static_cast<int32_t>(data.size());
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
    engine_->Write(target, data.data(), address, length);
    if (!Wait())
        Fail();
}

TRecordTransport &TCtlSession::Transport() { return *transport_; }

void TCtlSession::Refresh(bool full) { records_->Refresh(*transport_, full); }

std::vector<std::string> ListPorts() {
    std::vector<std::string> names;
    TCustomComPort::EnumComPorts(names);
    for (std::string &name : names)
        while (!name.empty() && name.back() == '\0')
            name.pop_back();
    return names;
}
