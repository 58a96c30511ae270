// velk_LLProtocol: the link engine. It moves one transmission at a time across
// the serial line: outgoing bytes are cut into DATA packets of at most 2032
// payload bytes, each acknowledged by the decoder (stop and wait); incoming
// DATA packets are reassembled and answered with ACK or NACK. A three-state
// machine (IDLE, WAIT ACK, WAIT DATA) driven on the owning thread by the port's
// received-data notice and three timers.
//
// Thread rule: the engine has no thread of its own. It is created on the
// library's owning thread, and every entry point (Send, Receive, the port's
// notices, the timers' expiries) runs there; a port failure or a dead line
// under a transmission ends it with leError.
//
// Input is taken in bounded portions: one handling looks at most at
// kPumpPortion bytes and queues the rest of its work behind the owning
// thread's other messages, so a line that sends without end never holds the
// thread, and the time-outs still end a transmission that no packet completes.
#pragma once

#include "CPortError.h"
#include "velkclasses.h"
#include "velkllpacket.h"
#include "velklog.h"
#include "velkmessagequeue.h"
#include "velktimer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class velk_CPort;
class TCustomComPort;

VELK_DECLARE_EXCEPTION(ELLProtocol, EVelk);

enum TLLState : int32_t { llsIdle = 0, llsWaitAck = 1, llsWaitData = 2 };

enum TLLEvent : int32_t {
    leIdle = 0,
    leWaitAck = 1,
    leWaitData = 2,
    lePacketAcked = 3,
    leSendDone = 4,
    leSendStart = 5,
    lePacketReceived = 6,
    leReceiveDone = 7,
    leReceiveStart = 8,
    leTimeout = 9,
    leError = 10,
};

// The outgoing transmission: Memory/Size hold all of it, Count the bytes acknowledged.
class velk_Tx : public TBuffer {
public:
    int32_t LastIndex = 0;   // packets - 1
    int32_t Acked = 0;       // packets acknowledged, also the index of the packet in flight
    int32_t ChunkLength = 0; // payload bytes of the packet in flight
    void Clear() override;
};

// The incoming transmission: Count is the number of bytes assembled.
class velk_Rx : public TBuffer {
public:
    int32_t Expected = 0; // packets announced by the first DATA packet
    int32_t Received = 0; // packets accepted
    void Clear() override;
};

// Time limits of the link engine in milliseconds. Response: a sent DATA packet
// must be answered. Completion: a started packet must be complete. Reply: while
// receiving, the decoder's next packet must begin.
struct TLLTimeouts {
    uint32_t Response = 5000;
    uint32_t Completion = 1000;
    uint32_t Reply = 10000;
};

class velk_LLProtocol {
public:
    using THandler = std::function<void(velk_LLProtocol &sender, int32_t code, int32_t value)>;

    using TTimeouts = TLLTimeouts;

    // The most bytes of input one handling looks at: two of the longest
    // packets a decoder sends, so a sound packet is taken whole in one go, and
    // a handling of noise lasts microseconds before the owning thread's other
    // messages (time-outs, the host's) get their turn.
    static constexpr int32_t kPumpPortion = 2 * kLLMaxPacketLength;

    // Writes its lines to log, which outlives the engine.
    velk_LLProtocol(velk_CPort &port, THandler onEvent = {}, TTimeouts timeouts = TTimeouts(),
                    velk_Log &log = LinkLog());
    virtual ~velk_LLProtocol();
    velk_LLProtocol(const velk_LLProtocol &) = delete;
    velk_LLProtocol &operator=(const velk_LLProtocol &) = delete;

    // Starts sending one transmission; returns when its first packet is written.
    void Send(const void *data, int32_t length);
    void SendPacket(const TBuffer &packet) { Send(packet.Memory(), packet.Size()); }
    // Starts receiving one transmission; bytes already waiting are handled now.
    void Receive();
    // Ends the transmission under way without an event of its end: the
    // timers stop, the input read is dropped, the engine is IDLE. Not from
    // inside the engine's own handling.
    void Abort();
    // The last completely received transmission; its length is its Size.
    TBuffer &ReceivedData() { return receivedData_; }

    TLLState State() const { return state_; }
    // The port's error when the line failed under the last transmission (a read
    // or write of the port failed, or the device hung up); empty when that
    // transmission ended otherwise or still runs.
    const std::optional<EComPort> &LineFailure() const { return lineFailure_; }
    void DoEvent(int32_t code, int32_t value);

    THandler OnEvent;

private:
    // One of the engine's timers together with the countdown it is waiting for:
    // an expiry of any other countdown is stale and ignored.
    struct TArmedTimer {
        std::unique_ptr<velk_Timer> Timer;
        uint64_t Armed = 0;
        void Start() { Armed = Timer->Start(); }
        // A timer with no countdown of its own running is left alone: every Stop
        // wakes the timer's thread.
        void Stop() {
            if (Armed == 0)
                return;
            Timer->Stop();
            Armed = 0;
        }
        // True once for the expiry of the armed countdown.
        bool Claim(uint64_t countdown) {
            if (Armed == 0 || countdown != Armed)
                return false;
            Armed = 0;
            return true;
        }
    };

    void SendNextPacket();
    // Feeds the packet being assembled from the port, at most kPumpPortion
    // bytes; true when it is complete. Input left over is handled again by a
    // message of its own.
    bool PumpInput();
    // Drops the input read and not yet used, and what waits in the port.
    void DropInput();
    void ContinueLater();
    void OnContinue();
    void HandleWaitAck();
    void HandleWaitData();
    void AcceptData();
    void WriteAnswer(velk_LLPacket &answer);
    void OnPortData(TCustomComPort &sender, int32_t count);
    void OnLineError(TCustomComPort &sender, const EComPort &error);
    // Runs one notice's handling; whatever it throws with a transmission still
    // in progress ends that transmission before the error goes on to the
    // notice's reporter.
    template <typename F> void EndOnFailure(F &&handling);
    void EndByFailure();
    // Inside a catch handler: keeps the handled exception as the line failure
    // when it is the port's error.
    void NoteLineFailure();
    void OnResponseTimeout(uint64_t countdown);
    void OnCompletionTimeout(uint64_t countdown);
    void OnReplyTimeout(uint64_t countdown);
    void EndByTimeout();
    void SetState(TLLState next);

    TLLState state_ = llsIdle;
    velk_Tx tx_;
    velk_Rx rx_;
    velk_LLPacket ackPacket_;
    velk_LLPacket nackPacket_;
    velk_LLPacket incoming_;
    velk_CPort &port_;
    velk_Log &log_;
    TArmedTimer responseTimer_;
    TArmedTimer completionTimer_;
    TArmedTimer replyTimer_;
    TOwnerThreadCheck ownerThread_; // every entry point runs on the creating thread
    int32_t nackCount_ = 0;
    std::optional<EComPort> lineFailure_;
    TBuffer receivedData_;
    // Bytes read from the port and not yet fed, from readAt_ to readEnd_: the
    // port is read in blocks, and a block may end inside the next packet.
    TBuffer readBuffer_;
    int32_t readAt_ = 0;
    int32_t readEnd_ = 0;
    bool continuing_ = false; // a continuation of the input's handling is queued
    // The owning thread's queue, for continuations; its messages die with it.
    std::unique_ptr<TMessageTarget> continuation_;
};

const char *LLStateName(TLLState state);
