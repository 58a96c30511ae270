// TSimLine: the simulator's end of the serial line, either a new
// pseudo-terminal (the library opens its far side) or a real serial device.
//
// For a pseudo-terminal the simulator keeps its own descriptor of the far side
// open, so the near side never reports a hang-up when the PC closes the line:
// the simulator just blocks until bytes come, across any number of opens and
// closes, using no CPU meanwhile. A real serial device forgets the PC's
// exclusive-use mark at its last close; a pseudo-terminal kept open does not,
// so the line watches the far side's opens and closes and clears the mark when
// the PC closes it.
//
// Every wait ends early when the simulator is asked to stop (TSimStopped) and
// when work is posted (Wake). Reads and writes are paced by the line's
// TSimPacer when it has a baud rate.
#pragma once

#include "velkdescriptor.h"
#include "velksimadapter.h"
#include "velksimpacer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace velksim {

// Thrown out of a wait when the simulator is to stop.
struct TSimStopped {};

class TSimLine {
public:
    using Clock = std::chrono::steady_clock;
    // Called on the simulator's thread when the PC opens (true) or closes the line.
    using TOpenListener = std::function<void(bool opened)>;

    enum class TWait { Input, Timeout, Woken };

    // device empty: a new pseudo-terminal; otherwise the device, set to 8N1 raw
    // at baud (115200 when 0), unpaced because the device keeps its own pace.
    // linkPath, when set, becomes a symbolic link to the line (replacing an older
    // link, never another kind of file) and is removed again at destruction.
    // ESimLine when any of this fails.
    TSimLine(const std::string &device, const std::string &linkPath, int32_t baud);
    ~TSimLine();
    TSimLine(const TSimLine &) = delete;
    TSimLine &operator=(const TSimLine &) = delete;

    // The path the PC opens: the link when there is one, else the device.
    const std::string &Path() const { return linkPath_.empty() ? devicePath_ : linkPath_; }
    const std::string &DevicePath() const { return devicePath_; }
    bool IsPseudoTerminal() const { return pseudoTerminal_; }
    TSimPacer &Pacer() { return pacer_; }
    TSimAdapter &Adapter() { return adapter_; }
    void SetOpenListener(TOpenListener listener) { openListener_ = std::move(listener); }

    // Thread-safe: make the current or next wait end (Woken), or throw
    // TSimStopped from it.
    void Wake();
    void RequestStop();
    bool StopRequested() const { return stop_.load(); }

    // Waits until bytes can be read or the deadline passes (Clock::time_point::max
    // for none).
    TWait Wait(Clock::time_point deadline);
    // Sleeps until the deadline; only a stop ends it earlier.
    void SleepUntil(Clock::time_point deadline);
    // Reads what is there, at most n bytes, without waiting; 0 when nothing.
    int32_t Read(uint8_t *bytes, int32_t n);
    // Writes all n bytes, paced; false when the PC has not taken them within
    // the write time-out (nobody is reading), and the rest is dropped.
    bool Write(const uint8_t *bytes, int32_t n);
    // Bytes waiting to be read (thread-safe).
    int32_t PendingInput() const;

    // Closes the line, so the PC sees a hang-up; every later use fails.
    void HangUp();
    // Hangs the line up once bytes bytes have crossed it, in either direction,
    // counted from this call and again from every open of the line by the PC;
    // negative: never. Reads and writes stop at the last byte allowed. Thread-safe.
    void SetHangUpAfterBytes(int64_t bytes);

private:
    void OpenPseudoTerminal();
    void OpenDevice(const std::string &device, int32_t baud);
    void MakeLink(const std::string &linkPath);
    void HandleOpenEvents();
    bool WriteChunk(const uint8_t *bytes, int32_t n, Clock::time_point deadline);
    bool WritePaced(const uint8_t *bytes, int32_t n);
    void CheckStop() const;
    // Of n bytes, how many may cross before the hang-up budget is spent; hangs
    // up (ESimLine) when it is spent already.
    int32_t Allow(int32_t n);
    // Counts n bytes that crossed; hangs up (ESimLine) when the budget is spent.
    void Crossed(int32_t n);

    std::string devicePath_;
    std::string linkPath_;
    bool pseudoTerminal_ = false;
    TDescriptor near_;           // the simulator's side
    TDescriptor far_;            // our hold on the pseudo-terminal's far side
    TDescriptor watch_;          // inotify on the far side's opens and closes
    TDescriptor wake_;           // eventfd: stop and work requests
    mutable std::mutex closing_; // PendingInput against HangUp
    std::atomic<bool> stop_{false};
    std::atomic<int64_t> hangUpAfterBytes_{-1};
    std::atomic<int64_t> crossed_{0};
    TSimPacer pacer_;
    TSimAdapter adapter_;
    TOpenListener openListener_;
};

} // namespace velksim
