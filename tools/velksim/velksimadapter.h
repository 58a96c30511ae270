// TSimAdapter: the latency timer of a USB serial adapter between the decoder
// and the PC. Such an adapter passes received bytes to the PC in USB packets
// of 62 data bytes; a packet that is not full waits until the latency timer
// runs out (16 ms by default on the most common chips). A stop-and-wait
// protocol pays that wait at every turnaround, since every answer ends in a
// packet that is not full. A latency of 0 is a plain serial port.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace velksim {

class TSimAdapter {
public:
    // Data bytes of one USB packet of the adapter (64 less 2 status bytes).
    static constexpr int32_t PacketBytes = 62;

    // Thread-safe; takes effect from the next write.
    void SetLatencyMs(int32_t ms) { latencyMs_.store(ms > 0 ? ms : 0); }
    int32_t LatencyMs() const { return latencyMs_.load(); }
    std::chrono::milliseconds Latency() const { return std::chrono::milliseconds(LatencyMs()); }

    // Of n bytes written at once, how many at the end wait for the latency
    // timer: those that do not fill a packet.
    int32_t HeldTail(int32_t n) const { return LatencyMs() > 0 && n > 0 ? n % PacketBytes : 0; }

private:
    std::atomic<int32_t> latencyMs_{0};
};

} // namespace velksim
