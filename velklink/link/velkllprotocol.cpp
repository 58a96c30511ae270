#include "velkllprotocol.h"

#include "velkcport.h"
#include "velklog.h"

#include <algorithm>

namespace {
constexpr int32_t kMaxPackets = 32767;
constexpr int32_t kMaxNacks = 10;
} // namespace

const char *LLStateName(TLLState state) {
    switch (state) {
    case llsIdle:
        return "IDLE";
    case llsWaitAck:
        return "WAIT ACK";
    case llsWaitData:
        return "WAIT DATA";
    }
    return "?";
}

void velk_Tx::Clear() {
    TBuffer::Clear();
    LastIndex = 0;
    Acked = 0;
    ChunkLength = 0;
}

void velk_Rx::Clear() {
    TBuffer::Clear();
    Expected = 0;
    Received = 0;
}

velk_LLProtocol::velk_LLProtocol(velk_CPort &port, THandler onEvent, TTimeouts timeouts, velk_Log &log)
    : OnEvent(std::move(onEvent)), ackPacket_(LL_ACK, 0, 0, 0, nullptr), nackPacket_(LL_NACK, 0, 0, 0, nullptr),
      incoming_(kLLMaxPacketLength), port_(port), log_(log), receivedData_(0), readBuffer_(kLLMaxPacketLength) {
    port_.OnRxChar = [this](TCustomComPort &sender, int32_t count) { OnPortData(sender, count); };
    port_.OnLineError = [this](TCustomComPort &sender, const EComPort &error) { OnLineError(sender, error); };
    responseTimer_.Timer = std::make_unique<velk_Timer>(
        timeouts.Response, [this](velk_Timer &, uint64_t countdown) { OnResponseTimeout(countdown); });
    completionTimer_.Timer = std::make_unique<velk_Timer>(
        timeouts.Completion, [this](velk_Timer &, uint64_t countdown) { OnCompletionTimeout(countdown); });
    replyTimer_.Timer = std::make_unique<velk_Timer>(
        timeouts.Reply, [this](velk_Timer &, uint64_t countdown) { OnReplyTimeout(countdown); });
    continuation_ = std::make_unique<TMessageTarget>();
    log_.LogFmt("Stato: %s.", LLStateName(state_));
    DoEvent(leIdle, 0);
}

velk_LLProtocol::~velk_LLProtocol() {
    continuation_.reset();
    port_.OnRxChar = nullptr;
    port_.OnLineError = nullptr;
    // Destroying a timer waits for a running countdown; its expiry may still be
    // delivered, so the handlers stay valid until every timer is gone.
    responseTimer_.Timer.reset();
    completionTimer_.Timer.reset();
    replyTimer_.Timer.reset();
}

void velk_LLProtocol::DoEvent(int32_t code, int32_t value) {
    if (OnEvent)
        OnEvent(*this, code, value);
}

void velk_LLProtocol::SetState(TLLState next) {
    log_.LogFmt("Stato: %s -> %s.", LLStateName(state_), LLStateName(next));
    state_ = next;
    if (next != llsWaitData)
        replyTimer_.Stop();
    DoEvent(next, 0);
}

void velk_LLProtocol::Send(const void *data, int32_t length) {
    ownerThread_.Check();
    if (state_ != llsIdle)
        throw ELLProtocol("Protocollo di comunicazione occupato.");
    lineFailure_.reset();
    port_.SetRxThreshold(1); // the answer may be a 12-byte ACK
    tx_.SetData(data, length);
    tx_.Clear();
    int64_t packets = length / kLLMaxPayload + (length % kLLMaxPayload != 0 ? 1 : 0);
    if (packets > kMaxPackets || packets < 1)
        throw ELLProtocol(Format("Numbero di pacchetti non valido: %d.", packets));
    DoEvent(leSendStart, static_cast<int32_t>(packets));
    tx_.LastIndex = static_cast<int32_t>(packets - 1);
    log_.Banner("Invio dati");
    incoming_.Clear();
    SetState(llsWaitAck);
    try {
        SendNextPacket();
    } catch (const EComPort &error) {
        // The first packet never left (port closed or failing): the engine is
        // free again before the error reaches the caller.
        lineFailure_ = error;
        responseTimer_.Stop();
        SetState(llsIdle);
        throw;
    } catch (...) {
        responseTimer_.Stop();
        SetState(llsIdle);
        throw;
    }
}

void velk_LLProtocol::DropInput() {
    readAt_ = readEnd_ = 0;
    port_.DrainInput();
}

void velk_LLProtocol::SendNextPacket() {
    DropInput();
    tx_.ChunkLength = std::min(kLLMaxPayload, tx_.Size() - tx_.Count());
    velk_LLPacket packet(LL_DATA, static_cast<uint16_t>(tx_.LastIndex), static_cast<uint16_t>(tx_.Acked),
                         static_cast<uint16_t>(tx_.ChunkLength), tx_.Tail());
    log_.LogFmt("Pacchetto dati: <- %s", packet.ToLogText());
    responseTimer_.Start();
    port_.Write(packet.Memory(), packet.Size());
}

void velk_LLProtocol::Receive() {
    ownerThread_.Check();
    if (state_ != llsIdle)
        throw ELLProtocol("Protocollo di comunicazione occupato.");
    log_.Banner("Ricezione dati");
    lineFailure_.reset();
    port_.SetRxThreshold(1);
    nackCount_ = 0;
    rx_.Clear();
    incoming_.Clear();
    SetState(llsWaitData);
    replyTimer_.Start();
    try {
        HandleWaitData();
    } catch (...) {
        // The port failed under the reception (closed or gone): the engine is
        // free again before the error reaches the caller.
        NoteLineFailure();
        completionTimer_.Stop();
        if (state_ != llsIdle)
            SetState(llsIdle);
        throw;
    }
}

void velk_LLProtocol::Abort() {
    ownerThread_.Check();
    responseTimer_.Stop();
    completionTimer_.Stop();
    replyTimer_.Stop();
    if (state_ == llsIdle)
        return;
    incoming_.Clear();
    readAt_ = readEnd_ = 0;
    SetState(llsIdle);
}

bool velk_LLProtocol::PumpInput() {
    const uint16_t before = incoming_.PacketType();
    int32_t missing = incoming_.Missing();
    int32_t portion = kPumpPortion;
    while (missing > 0 && portion > 0) {
        if (readAt_ == readEnd_) {
            int32_t waiting = port_.InputCount();
            if (waiting == 0) {
                // The next notice comes when the packet's next part is in: a
                // paced line then wakes the engine a few times a packet, not
                // for every few bytes. Bytes that came before the new
                // threshold was set are read now.
                port_.SetRxThreshold(missing);
                waiting = port_.InputCount();
                if (waiting == 0)
                    break;
            }
            const int32_t got = port_.Read(readBuffer_.Memory(), std::min({waiting, readBuffer_.Size(), portion}));
            if (got <= 0)
                break;
            readAt_ = 0;
            readEnd_ = got;
        }
        const int32_t used = incoming_.Feed(readBuffer_.Memory() + readAt_, std::min(readEnd_ - readAt_, portion));
        readAt_ += used;
        portion -= used;
        missing = incoming_.Missing();
    }
    if (missing == 0)
        port_.SetRxThreshold(1);
    // The portion is used up with the packet still short, or the packet is
    // complete with bytes of the next one read: the rest of the input is
    // handled after the messages that wait now.
    if ((missing > 0 && portion == 0) || (missing == 0 && readAt_ < readEnd_))
        ContinueLater();
    if (before == LL_NONE && incoming_.PacketType() != LL_NONE) {
        // A packet has begun: it has the completion interval to arrive whole
        // (unless it already has), and the wait for the decoder's next packet is over.
        if (missing != 0)
            completionTimer_.Start();
        replyTimer_.Stop();
    }
    if (missing == 0)
        completionTimer_.Stop();
    return missing == 0;
}

void velk_LLProtocol::ContinueLater() {
    if (continuing_)
        return;
    continuing_ = continuation_->Post([this] { OnContinue(); });
}

void velk_LLProtocol::OnContinue() {
    continuing_ = false;
    OnPortData(port_, 0);
}

void velk_LLProtocol::HandleWaitAck() {
    if (!PumpInput())
        return;
    responseTimer_.Stop();
    if (!incoming_.IsValid()) {
        log_.LogFmt("Pacchetto non valido: -> %s", incoming_.ToLogText());
        SetState(llsIdle);
        DoEvent(leError, 0);
        return;
    }
    switch (incoming_.PacketType()) {
    case LL_ACK:
        log_.Log("Pacchetto: -> ACK.");
        tx_.SetCount(tx_.Count() + tx_.ChunkLength);
        tx_.Acked += 1;
        tx_.ChunkLength = 0;
        DoEvent(lePacketAcked, tx_.Acked);
        if (tx_.Count() < tx_.Size()) {
            incoming_.Clear();
            SendNextPacket();
        } else {
            SetState(llsIdle);
            DoEvent(leSendDone, tx_.Size());
        }
        break;
    case LL_NACK:
        log_.LogFmt("Pacchetto: -> NACK \"%s\".", incoming_.ReasonText());
        incoming_.Clear();
        SendNextPacket();
        break;
    default:
        log_.LogFmt("Pacchetto non aspettato: -> %s", incoming_.ToLogText());
        SetState(llsIdle);
        DoEvent(leError, 0);
        break;
    }
}

void velk_LLProtocol::WriteAnswer(velk_LLPacket &answer) {
    port_.Write(answer.Memory(), answer.Size());
    // The decoder's next packet must begin within the reply interval.
    if (state_ == llsWaitData) {
        replyTimer_.Stop();
        replyTimer_.Start();
    }
}

void velk_LLProtocol::HandleWaitData() {
    if (!PumpInput())
        return;
    if (incoming_.IsValid()) {
        nackCount_ = 0;
        if (incoming_.PacketType() == LL_DATA) {
            AcceptData();
            incoming_.Clear();
            log_.Log("Pacchetto: <- ACK.");
            WriteAnswer(ackPacket_);
            DoEvent(lePacketReceived, rx_.Received);
            if (rx_.Received == rx_.Expected) {
                SetState(llsIdle);
                receivedData_.SetData(rx_.Memory(), rx_.Count());
                DoEvent(leReceiveDone, receivedData_.Size());
            }
        } else {
            log_.LogFmt("Pacchetto non aspettato: -> %s", incoming_.ToLogText());
            SetState(llsIdle);
            DoEvent(leError, 0);
        }
        return;
    }
    log_.LogFmt("Pacchetto non valido: -> %s", incoming_.ToLogText());
    nackCount_ += 1;
    if (nackCount_ <= kMaxNacks) {
        incoming_.Clear();
        log_.Log("Pacchetto: <- NACK.");
        WriteAnswer(nackPacket_);
    } else {
        SetState(llsIdle);
        DoEvent(leError, 0);
    }
}

void velk_LLProtocol::AcceptData() {
    log_.LogFmt("Pacchetto dati: -> %s", incoming_.ToLogText());
    if (rx_.Received == 0) {
        rx_.Expected = incoming_.PacketCount() & 0xFFFF;
        rx_.SetSize(rx_.Expected * kLLMaxPayload);
        DoEvent(leReceiveStart, rx_.Expected);
    }
    if (static_cast<int64_t>(rx_.Count()) + incoming_.PayloadLength() > rx_.Size()) {
        // The decoder sent more than it announced: the reception ends as after an
        // invalid packet, so the engine is free again, then the error is raised.
        SetState(llsIdle);
        DoEvent(leError, 0);
        throw ELLProtocol("Overflow del buffer di ricezione.");
    }
    int32_t copied = incoming_.CopyPayload(rx_.Tail(), incoming_.PayloadLength());
    rx_.SetCount(rx_.Count() + copied);
    rx_.Received += 1;
}

template <typename F> void velk_LLProtocol::EndOnFailure(F &&handling) {
    try {
        handling();
    } catch (...) {
        // A port that fails under a write or a read (a dead line), or any other
        // error out of a notice, would otherwise leave the engine waiting with no
        // timer running: the transmission ends as after an invalid packet.
        if (state_ != llsIdle) {
            NoteLineFailure();
            EndByFailure();
        }
        throw;
    }
}

void velk_LLProtocol::NoteLineFailure() {
    try {
        throw;
    } catch (const EComPort &error) {
        lineFailure_ = error;
    } catch (...) {
    }
}

void velk_LLProtocol::EndByFailure() {
    responseTimer_.Stop();
    completionTimer_.Stop();
    SetState(llsIdle);
    DoEvent(leError, 0);
}

void velk_LLProtocol::OnPortData(TCustomComPort &, int32_t) {
    ownerThread_.Check();
    EndOnFailure([this] {
        if (state_ == llsWaitAck)
            HandleWaitAck();
        else if (state_ == llsWaitData)
            HandleWaitData();
    });
}

void velk_LLProtocol::OnLineError(TCustomComPort &, const EComPort &error) {
    ownerThread_.Check();
    // Between transmissions the line's loss shows at its next use.
    if (state_ == llsIdle)
        return;
    lineFailure_ = error;
    EndByFailure();
    throw error;
}

void velk_LLProtocol::EndByTimeout() {
    completionTimer_.Stop();
    SetState(llsIdle);
    log_.Log("Timeout aspettando una risposta.");
    DoEvent(leTimeout, 0);
}

void velk_LLProtocol::OnResponseTimeout(uint64_t countdown) {
    ownerThread_.Check();
    if (!responseTimer_.Claim(countdown))
        return; // stopped or superseded before its expiry was handled
    EndByTimeout();
}

void velk_LLProtocol::OnReplyTimeout(uint64_t countdown) {
    ownerThread_.Check();
    if (!replyTimer_.Claim(countdown))
        return;
    EndByTimeout();
}

void velk_LLProtocol::OnCompletionTimeout(uint64_t countdown) {
    ownerThread_.Check();
    if (!completionTimer_.Claim(countdown))
        return;
    EndOnFailure([this] {
        // Bytes of the packet may wait unread below the notice threshold.
        const bool complete = PumpInput();
        if (!complete) {
            responseTimer_.Stop();
            log_.Log("Timeout nel completamento di un pacchetto.");
            log_.Log("Pacchetto riempito e invalidato.");
            incoming_.Invalidate();
        }
        if (state_ == llsWaitAck) {
            // Fewer than 4 bytes had arrived: the packet is emptied and nothing
            // ends the send, so the wait for an answer is timed again.
            if (!complete && incoming_.Count() == 0)
                responseTimer_.Start();
            HandleWaitAck();
        } else if (state_ == llsWaitData) {
            if (!complete && incoming_.Count() == 0)
                replyTimer_.Start();
            HandleWaitData();
        }
    });
}
