// TDecoderSim: the decoder simulator as an object, for tests that need a
// decoder at the far end of a real line and for the velksim program.
//
// Creating one creates the line (a new pseudo-terminal, or a serial device)
// and starts serving on a thread of its own; destroying it stops the thread
// and closes the line. Open LinePath() with the library as a serial port:
//
//     velksim::TDecoderSim sim;                        // demo decoder, in memory
//     port.Open(sim.LinePath()); ... transfers ...
//     sim.WaitIdle();                                  // everything handled
//     EXPECT_EQ(sim.Counters().readFlashRequests, 1);
//     EXPECT_EQ(sim.ReadFlash(velksim::SlotAddress(1), 4), expected);
//
// Every member function is thread-safe. Memory access while the simulator
// serves is atomic per call: a request the decoder is serving is applied
// wholly before or wholly after it. Changes made through the handle are saved
// to the state folder like the decoder's own writes.
//
// The decoder's memory: the record area of SlotCount slots of SlotSize bytes
// from FlashBase (erased flash reads 0xFF), the EEPROM of EepromSize bytes and
// the last firmware image (see velksimmemory.h). A fresh state holds the demo
// decoder of velksimdemo.h.
#pragma once

#include "velksimcounters.h"
#include "velksimfaults.h"
#include "velksimmemory.h"
#include "velksimtiming.h"
#include "velksimtrace.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velksim {

struct TSimConfig {
    // The state folder: its flash.bin, eeprom.bin and firmware.bin are loaded
    // (missing ones start as the demo decoder) and rewritten after every
    // accepted write. Empty: memory only.
    std::string stateFolder;
    // With a state folder: replace its state by the demo decoder first.
    bool resetState = false;
    // Memory only: start from the demo decoder (else everything erased).
    bool demoState = true;

    // Empty: a new pseudo-terminal. Otherwise a serial device to serve on.
    std::string device;
    // When set, a symbolic link to the line (removed again at the end).
    std::string linkPath;
    // Line pacing in baud (8N1, 10 bits a byte); 0 unpaced. On a serial device
    // it sets the device's speed instead (0: 115200).
    int32_t baud = 0;
    // The latency timer of a USB serial adapter in ms (0: none): bytes to the
    // PC that do not fill the adapter's 62-byte packet wait that long.
    int32_t adapterLatencyMs = 0;

    TSimFaults faults;
    // The decoder's own time limits and NACK bound (defaults as a real decoder).
    TSimTiming timing;
    // false: link layer only; transmissions are acknowledged and kept
    // (LastTransmission) but no request is served.
    bool transferLayer = true;

    // Trace entries kept (the oldest are dropped); 0 keeps none.
    size_t traceLimit = 10000;
    // Called on the simulator's thread for every trace entry. It must not call
    // back into the handle.
    TSimTrace::TListener onTrace;
};

class TDecoderSim {
public:
    // Loads the state, creates the line and starts serving. Raises ESimState
    // (state folder unusable or a file damaged), ESimLine (line not created) or
    // ESimRange.
    explicit TDecoderSim(TSimConfig config = {});
    // Stops serving and closes the line (the PC then sees a hang-up).
    ~TDecoderSim();
    TDecoderSim(const TDecoderSim &) = delete;
    TDecoderSim &operator=(const TDecoderSim &) = delete;

    // ---- The line
    // What the library opens: the link path when set, else the device
    // (/dev/pts/N for a pseudo-terminal).
    std::string LinePath() const;
    // The pseudo-terminal's far side or the serial device itself.
    std::string DevicePath() const;
    int32_t Baud() const;
    // Changes the pacing (pseudo-terminal only) from the next byte on.
    void SetBaud(int32_t baud);
    // The adapter's latency timer in ms from the next write on (0: none).
    void SetAdapterLatency(int32_t ms);
    int32_t AdapterLatency() const;

    // ---- Running
    // True until the simulator stopped (Stop, HangUp, a hang-up fault, a line
    // failure).
    bool IsServing() const;
    // Why it stopped; empty while serving or after Stop.
    std::string EndReason() const;
    // When serving ended (hang-up, failure or Stop); the clock's epoch while serving.
    std::chrono::steady_clock::time_point StoppedAt() const;
    // Stops serving; the line stays open but nothing answers. Idempotent.
    void Stop();
    // Hangs up the line now (the PC's end sees a hang-up) and stops serving.
    void HangUp();
    // Waits until serving ended; false on time-out.
    bool WaitStopped(std::chrono::milliseconds timeout);
    // Waits until the simulator has handled everything the PC sent: nothing is
    // left to read, no packet is half received, no queued transmission waits,
    // and the simulator is blocked waiting for the PC (for the start of a
    // packet, or for the answer to a DATA packet it sent). It first gives bytes
    // just written IdleSettle to reach the simulator. True when it no longer
    // serves; false on time-out.
    static constexpr std::chrono::milliseconds IdleSettle{20};
    bool WaitIdle(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // ---- Memory (ESimRange outside the memory; writes persisted)
    std::vector<uint8_t> ReadFlash(uint32_t address, uint32_t length) const;
    void WriteFlash(uint32_t address, std::span<const uint8_t> bytes);
    // A whole record slot (0 .. SlotCount - 1).
    std::vector<uint8_t> ReadSlot(int32_t slot) const;
    // Replaces a whole slot: the bytes from its start, the rest erased.
    void WriteSlot(int32_t slot, std::span<const uint8_t> bytes);
    std::vector<uint8_t> ReadEeprom(uint32_t address, uint32_t length) const;
    void WriteEeprom(uint32_t address, std::span<const uint8_t> bytes);
    std::vector<uint8_t> Firmware() const;
    // Every slot erased (0xFF), EEPROM and firmware kept.
    void EraseFlash();
    // Back to the demo decoder (flash, EEPROM, no firmware).
    void ResetToDemo();
    // The next SYNC is answered with ACK, as after a start.
    void ResetSync();

    // ---- Traffic
    TSimCounters Counters() const;
    void ResetCounters();
    std::vector<TSimTraceEntry> Trace() const;
    void ClearTrace();
    // The last complete transmission received from the PC (its transfer packet).
    std::vector<uint8_t> LastTransmission() const;

    // ---- Faults and behaviour
    TSimFaults Faults() const;
    // Takes effect from the next decision; reseeds the dice from faults.seed
    // and restarts the counts of stopAfter, hangUpAfterTransmissions and nackNext.
    void SetFaults(const TSimFaults &faults);
    void ClearFaults();
    // Serve requests (true) or only acknowledge transmissions (false).
    void SetTransferLayer(bool serve);
    // Queues a transmission of the decoder's own, sent as soon as no
    // transmission from the PC is half received (link tests use it).
    void Send(std::vector<uint8_t> transmission);

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

} // namespace velksim
