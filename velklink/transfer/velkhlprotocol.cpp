#include "velkhlprotocol.h"

#include "velkcommon.h"
#include "velkllprotocol.h"
#include "velklog.h"
#include "velkmessagequeue.h"

#include <chrono>

namespace {
constexpr int32_t kDumpBytes = 40;
} // namespace

const char *HLStateName(int32_t state) {
    static const char *const names[] = {"NOT CONNECTED", "TX SYNC", "WAIT SYNC ACK", "IDLE", "TX READ REQUEST",
                                        "WAIT DATA",     "TX",      "WAIT ACK"};
    return state >= 0 && state < 8 ? names[state] : "?";
}

velk_HLProtocol::velk_HLProtocol(velk_LLProtocol &link, THandler onEvent, velk_Log &log)
    : OnEvent(std::move(onEvent)), receiveBuffer_(0), link_(link), log_(log) {
    link_.OnEvent = [this](velk_LLProtocol &sender, int32_t code, int32_t value) { LinkEvent(sender, code, value); };
    log_.LogFmt("Stato: %s.", HLStateName(state_));
    DoEvent(state_, 0);
}

velk_HLProtocol::~velk_HLProtocol() {
    link_.OnEvent = nullptr;
}

void velk_HLProtocol::DoEvent(int32_t code, int32_t value) {
    if (OnEvent)
        OnEvent(*this, code, value);
}

void velk_HLProtocol::SetState(int32_t next) {
    log_.LogFmt("Stato: %s -> %s.", HLStateName(state_), HLStateName(next));
    state_ = next;
    DoEvent(next, 0);
}

bool velk_HLProtocol::IsBusy() {
    ownerThread_.Check();
    return state_ != hsNotConnected && state_ != hsIdle;
}

template <typename F> void velk_HLProtocol::CallLink(F &&call) {
    try {
        call();
    } catch (const EComPort &error) {
        // A nested exchange step may already have ended the exchange this way.
        if (state_ != hsNotConnected)
            EndByLinkError(error);
        throw;
    } catch (...) {
        if (state_ != hsNotConnected)
            EndByLinkError(std::nullopt);
        throw;
    }
}

void velk_HLProtocol::Finish(THLOutcome outcome, const std::string &line) {
    log_.Log(line);
    end_.Outcome = outcome;
    end_.Message = line;
}

void velk_HLProtocol::EndByTimeout() {
    error_ = heLinkTimeout;
    SetState(hsNotConnected);
    Finish(end_.Answered ? hoTimedOut : hoNoAnswer, "Timeout nel protocollo a basso livello.");
}

void velk_HLProtocol::EndByLinkError(const std::optional<EComPort> &lineError) {
    error_ = heLinkError;
    SetState(hsNotConnected);
    end_.LineError = lineError;
    Finish(lineError ? hoLineFailed : hoLinkError, "Errore nel protocollo a basso livello.");
}

void velk_HLProtocol::PrepareStart() {
    if (IsBusy())
        throw EHLProtocol("Protocollo di comunicazione occupato.");
    writePending_ = false;
    readPending_ = false;
    end_ = {};
}

void velk_HLProtocol::SendSyncPacket() {
    SetState(hsTxSync);
    log_.Log("Pacchetto: <- SYNC.");
    velk_HLPacket sync(HL_SYNC, 0, nullptr, 0);
    CallLink([&] { link_.SendPacket(sync); });
}

void velk_HLProtocol::SendSync() {
    ownerThread_.Check();
    PrepareStart();
    log_.Banner("Sincronizzazione");
    SendSyncPacket();
}

void velk_HLProtocol::Read(int32_t source, uint32_t address, int32_t length) {
    ownerThread_.Check();
    PrepareStart();
    uint32_t command;
    if (source == hlsFlash) {
        log_.Banner(Format("Lettura Flash (indirizzo 0x%8.8x, %d bytes)", address, length));
        command = HL_READ_FLASH;
    } else if (source == hlsEeprom) {
        log_.Banner(Format("Lettura Eeprom (indirizzo 0x%4.4x, %d bytes)", address, length));
        command = HL_READ_EEPROM;
    } else {
        throw EHLProtocol("Sorgente di lettura non valida.");
    }
    uint8_t request[8];
    WriteBE32(request, address);
    WriteBE32(request + 4, static_cast<uint32_t>(length));
    pending_.reset();
    pending_ = std::make_unique<velk_HLPacket>(command, 0, request, 8);
    readPending_ = true;
    SendSyncPacket();
}

void velk_HLProtocol::Write(int32_t target, const void *data, uint32_t address, int32_t length) {
    ownerThread_.Check();
    PrepareStart();
    uint32_t command;
    if (target == hltFlash) {
        log_.Banner(Format("Scrittura Flash (indirizzo 0x%8.8x, %d bytes)", address, length));
        command = HL_WRITE_FLASH;
    } else if (target == hltEeprom) {
        log_.Banner(Format("Scrittura Eeprom (indirizzo 0x%4.4x, %d bytes)", address, length));
        command = HL_WRITE_EEPROM;
    } else if (target == hltFirmware) {
        log_.Banner(Format("Upload Firmware (%d bytes)", length));
        command = HL_FIRMWARE;
        address = 0;
    } else {
        throw EHLProtocol("Destinazione scrittura non valida.");
    }
    pending_.reset();
    pending_ = std::make_unique<velk_HLPacket>(command, address, data, static_cast<uint32_t>(length));
    writePending_ = true;
    SendSyncPacket();
}

void velk_HLProtocol::Cancel() {
    ownerThread_.Check();
    if (!IsBusy())
        return;
    link_.Abort();
    error_ = heLinkError;
    SetState(hsNotConnected);
    Finish(hoCancelled, "Errore nel protocollo a basso livello.");
}

bool velk_HLProtocol::WaitFor() {
    TMessageQueue &queue = TMessageQueue::Current();
    while (IsBusy()) {
        if (cancelRequested_) {
            Cancel();
            break;
        }
        // Blocks until a received-data notice or a timer expiry arrives; the
        // bound only keeps the idle callback coming while the decoder is slow.
        queue.WaitForMessage(IdleIntervalMs);
        queue.ProcessMessages();
        if (OnIdle)
            OnIdle();
    }
    return error_ == heNone;
}

void velk_HLProtocol::Abort() {
    ownerThread_.Check();
    link_.Abort();
    writePending_ = false;
    readPending_ = false;
    if (state_ != hsNotConnected) {
        error_ = heLinkError;
        SetState(hsNotConnected);
    }
}

void velk_HLProtocol::LinkEvent(velk_LLProtocol &, int32_t code, int32_t value) {
    ownerThread_.Check();
    error_ = heNone;
    // Every one of these means a link packet came from the decoder.
    if (code == lePacketAcked || code == leReceiveStart || code == lePacketReceived || code == leReceiveDone)
        end_.Answered = true;
    switch (code) {
    case leTimeout:
        EndByTimeout();
        return;
    case leError:
        EndByLinkError(link_.LineFailure());
        return;
    case leReceiveDone: {
        velk_HLPacket packet(link_.ReceivedData());
        if (!packet.IsValid()) {
            error_ = heInvalidPacket;
            Finish(hoInvalidAnswer, Format("Pacchetto non valido: -> %s", packet.Dump(kDumpBytes)));
            SetState(hsNotConnected);
            return;
        }
        switch (packet.Command()) {
        case HL_DATA:
            log_.Log("Pacchetto: -> DATA.");
            break;
        case HL_SYNC:
            log_.Log("Pacchetto: -> SYNC.");
            break;
        case HL_ACK:
            log_.Log("Pachetto: -> ACK.");
            break;
        case HL_NACK:
            log_.Log("Pachetto: -> NACK.");
            break;
        default:
            break;
        }
        Answer(packet);
        return;
    }
    default:
        break;
    }

    switch (state_) {
    case hsTxSync:
        if (code == leSendDone) {
            SetState(hsWaitSyncAck);
            CallLink([&] { link_.Receive(); });
        }
        break;
    case hsTxReadRequest:
        if (code == leSendDone) {
            SetState(hsWaitData);
            CallLink([&] { link_.Receive(); });
        }
        break;
    case hsWaitData:
        if (code == leReceiveStart)
            DoEvent(hpReadStart, value);
        else if (code == lePacketReceived)
            DoEvent(hpReadPacket, value);
        break;
    case hsTx:
        if (code == leSendStart) {
            DoEvent(hpWriteStart, value);
        } else if (code == lePacketAcked) {
            DoEvent(hpWritePacket, value);
        } else if (code == leSendDone) {
            SetState(hsWaitAck);
            CallLink([&] { link_.Receive(); });
        }
        break;
    default:
        break;
    }
}

void velk_HLProtocol::Unexpected(const velk_HLPacket &packet) {
    Finish(hoUnexpectedAnswer, Format("Pacchetto non aspettato: -> %s", packet.Dump(kDumpBytes)));
    error_ = heUnexpectedPacket;
    SetState(hsNotConnected);
}

void velk_HLProtocol::Answer(const velk_HLPacket &packet) {
    const int64_t command = packet.Command();
    switch (state_) {
    case hsWaitSyncAck:
        if (command != HL_ACK && command != HL_SYNC) {
            Unexpected(packet);
            break;
        }
        end_.SyncReply = command == HL_SYNC ? hsrSync : hsrAck;
        if (writePending_) {
            writePending_ = false;
            SetState(hsTx);
            log_.Log("Pacchetto: <- WRITE.");
            CallLink([&] { link_.SendPacket(*pending_); });
        } else if (readPending_) {
            readPending_ = false;
            SetState(hsTxReadRequest);
            log_.Log("Pacchetto: <- READ REQUEST.");
            CallLink([&] { link_.SendPacket(*pending_); });
        } else {
            SetState(hsIdle);
            Finish(hoDone, command == HL_SYNC ? "Decoder gi\xE0 sincronizzato." : "Decoder sincronizzato.");
        }
        break;
    case hsWaitData:
        if (command == HL_DATA) {
            SetState(hsIdle);
            Finish(hoDone, "Lettura completata.");
            receiveBuffer_.SetData(packet.Data(), static_cast<int32_t>(packet.DataLength()));
        } else if (command == HL_NACK) {
            error_ = heReadRefused;
            SetState(hsIdle);
            Finish(hoRefused, "Richiesta lettura rifiutata.");
        } else {
            Unexpected(packet);
        }
        break;
    case hsWaitAck:
        if (command == HL_ACK) {
            SetState(hsIdle);
            Finish(hoDone, "Scrittura completata.");
        } else if (command == HL_NACK) {
            error_ = heWriteRefused;
            SetState(hsIdle);
            Finish(hoRefused, "Scrittura fallita.");
        } else {
            Unexpected(packet);
        }
        break;
    default:
        break;
    }
}
