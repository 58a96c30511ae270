// velk_HLProtocol: the transfer engine. Every exchange with the decoder starts
// with a SYNC packet; once the decoder has answered it, the stored request
// (READ, WRITE or FIRMWARE) is sent and the decoder's DATA, ACK or NACK is
// awaited. The engine advances only inside link events, on the owning thread;
// a caller that needs the result waits with WaitFor.
//
// Thread rule: created on the library's owning thread; every entry point, link
// events included, runs there.
#pragma once

#include "CPortError.h"
#include "velkclasses.h"
#include "velkhlpacket.h"
#include "velklog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class velk_LLProtocol;

VELK_DECLARE_EXCEPTION(EHLProtocol, EVelk);

// States: free in 0 and 3, busy in all others.
enum THLState : int32_t {
    hsNotConnected = 0,
    hsTxSync = 1,
    hsWaitSyncAck = 2,
    hsIdle = 3,
    hsTxReadRequest = 4,
    hsWaitData = 5,
    hsTx = 6,
    hsWaitAck = 7,
};

// Error numbers of a failed exchange.
enum THLError : int32_t {
    heNone = 0,
    heLinkTimeout = 1,
    heLinkError = 2,
    heInvalidPacket = 3,
    heUnexpectedPacket = 4,
    heWriteRefused = 5,
    heReadRefused = 6,
};

// How an exchange ended, finer than the error number: a link time-out is told
// apart by whether the decoder had answered anything of the exchange, and a
// failing serial line from a failing link protocol.
enum THLOutcome : int32_t {
    hoNone = 0,         // no exchange has ended since the last one started
    hoDone,             // the decoder answered as asked
    hoRefused,          // the decoder refused the read or the write (NACK; errors 5, 6)
    hoNoAnswer,         // link time-out before the decoder answered anything of the exchange (error 1)
    hoTimedOut,         // link time-out after the decoder had answered part of the exchange (error 1)
    hoLineFailed,       // the serial line failed under the exchange (error 2)
    hoLinkError,        // the link protocol failed: bad or unexpected link packets, too many NACKs (error 2)
    hoInvalidAnswer,    // the decoder's transfer packet is not valid (error 3)
    hoUnexpectedAnswer, // a valid transfer packet of a kind not expected here (error 4)
    hoCancelled,        // the engine's user ended the exchange (error 2)
};

// How the decoder answered the SYNC that began an exchange.
enum THLSyncReply : int32_t {
    hsrNone = 0, // not answered (yet)
    hsrAck = 1,  // ACK: it has just synchronised
    hsrSync = 2, // SYNC: it already was synchronised
};

// The end of the last exchange, for the engine's C++ users: what to tell
// people and whether to try again, without reading the log.
struct THLExchangeEnd {
    THLOutcome Outcome = hoNone;
    // The line the engine logged about the end, byte for byte (Windows-1252),
    // with its packet dump where it has one; empty while none has been logged.
    std::string Message;
    THLSyncReply SyncReply = hsrNone;
    // The decoder answered something of this exchange at the link level.
    bool Answered = false;
    // hoLineFailed: the port's error.
    std::optional<EComPort> LineError;
};

// Progress events besides the state codes 0..7.
enum THLProgress : int32_t {
    hpReadPacket = 11,  // link packets of the DATA transmission received so far
    hpReadStart = 12,   // link packets in the whole DATA transmission
    hpWritePacket = 14, // link packets of the WRITE transmission acknowledged so far
    hpWriteStart = 15,  // link packets in the whole WRITE transmission
};

enum THLSource : int32_t { hlsFlash = 0, hlsEeprom = 1 };
enum THLTarget : int32_t { hltFlash = 0, hltEeprom = 1, hltFirmware = 2 };

class velk_HLProtocol {
public:
    using THandler = std::function<void(velk_HLProtocol &sender, int32_t code, int32_t value)>;

    // Writes its lines to log, which outlives the engine.
    velk_HLProtocol(velk_LLProtocol &link, THandler onEvent = {}, velk_Log &log = TransferLog());
    virtual ~velk_HLProtocol();
    velk_HLProtocol(const velk_HLProtocol &) = delete;
    velk_HLProtocol &operator=(const velk_HLProtocol &) = delete;

    void SendSync();
    void Read(int32_t source, uint32_t address, int32_t length);
    void ReadFlash(uint32_t address, int32_t length) { Read(hlsFlash, address, length); }
    void ReadEeprom(uint32_t address, int32_t length) { Read(hlsEeprom, address, length); }
    // The data are copied before the call returns.
    void Write(int32_t target, const void *data, uint32_t address, int32_t length);
    void SendFlash(const void *data, uint32_t address, int32_t length) { Write(hltFlash, data, address, length); }
    void SendEeprom(const void *data, uint32_t address, int32_t length) { Write(hltEeprom, data, address, length); }
    void SendFirmware(const void *data, int32_t length) { Write(hltFirmware, data, 0, length); }

    // Handles the owning thread's messages until the engine is free; true when
    // the exchange ended without error. Calls OnIdle between rounds and at least
    // every IdleIntervalMs.
    bool WaitFor();
    // Ends the exchange in progress at once (error 2, state 0, no outcome
    // line), the link engine's transmission with it. For a host that gives up
    // waiting, e.g. from OnIdle.
    void Abort();
    bool IsBusy();
    // Asks the exchange under way to end: safe from anywhere on the owning
    // thread, a host's callback inside the engine's own handling included. A
    // wait running ends the exchange (hoCancelled) at its next round, and
    // every wait does so at once until ClearCancel.
    void RequestCancel() { cancelRequested_ = true; }
    void ClearCancel() { cancelRequested_ = false; }
    // Ends the exchange under way as failed, hoCancelled with error 2; nothing
    // when the engine is free. Not from inside the engine's own handling.
    void Cancel();
    int32_t GetState() const { return state_; }
    int32_t GetError() const { return error_; }
    // How the last exchange ended; reset when the next one starts.
    const THLExchangeEnd &LastEnd() const { return end_; }
    // The data of the last completed read.
    TBuffer &GetBuffer() { return receiveBuffer_; }

    void LinkEvent(velk_LLProtocol &sender, int32_t code, int32_t value);
    void DoEvent(int32_t code, int32_t value);

    THandler OnEvent;
    std::function<void()> OnIdle;
    static constexpr int IdleIntervalMs = 20;

private:
    void PrepareStart();
    void SendSyncPacket();
    void Answer(const velk_HLPacket &packet);
    void Unexpected(const velk_HLPacket &packet);
    void SetState(int32_t next);
    // Logs the line that tells how the exchange ended and keeps it with the outcome.
    void Finish(THLOutcome outcome, const std::string &line);
    // Error 1, state 0: a link time-out.
    void EndByTimeout();
    // Error 2, state 0: the link layer failed, or the line under it (lineError).
    void EndByLinkError(const std::optional<EComPort> &lineError);
    // Runs a call into the link engine. If it raises, the exchange ends as after
    // a link error (error 2, state 0) before the exception goes on.
    template <typename F> void CallLink(F &&call);

    int32_t error_ = heNone;
    THLExchangeEnd end_;
    int32_t state_ = hsNotConnected;
    std::unique_ptr<velk_HLPacket> pending_;
    TBuffer receiveBuffer_;
    TOwnerThreadCheck ownerThread_; // every entry point runs on the creating thread
    velk_LLProtocol &link_;
    velk_Log &log_;
    bool writePending_ = false;
    bool readPending_ = false;
    bool cancelRequested_ = false;
};

const char *HLStateName(int32_t state);
