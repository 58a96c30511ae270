// TSimPacer: the timing of a real serial cable. At N baud with 8N1 framing a
// byte takes 10 bits, so bytes read from a pseudo-terminal (which delivers them
// at once) are taken as arriving one byte time after another, and bytes to
// write go out in small chunks, each when the previous one would have left the
// line. A baud of 0 turns pacing off.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace velksim {

class TSimPacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit TSimPacer(int32_t baud = 0) { SetBaud(baud); }

    // Thread-safe; takes effect from the next bytes.
    void SetBaud(int32_t baud) { baud_.store(baud > 0 ? baud : 0); }
    int32_t Baud() const { return baud_.load(); }
    bool Paced() const { return Baud() > 0; }
    // The time n bytes take on the line (0 when unpaced).
    Clock::duration LineTime(int64_t n) const;

    // n bytes read at now: returns when the last of all bytes read so far has
    // arrived on the line.
    Clock::time_point Received(int64_t n, Clock::time_point now);
    Clock::time_point ReceivedBy() const { return rxBy_; }

    // How many bytes to write at once: about 2 ms of line time, at least 1.
    int32_t ChunkBytes() const;
    // n bytes handed to the line at now: returns when they have left it.
    Clock::time_point Sent(int64_t n, Clock::time_point now);

private:
    std::atomic<int32_t> baud_{0};
    // Used only by the simulator's own thread.
    Clock::time_point rxBy_{};
    Clock::time_point txBy_{};
};

} // namespace velksim
