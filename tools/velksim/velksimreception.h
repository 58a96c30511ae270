// TSimReception: one transmission from the PC being assembled from its DATA
// packets. The first packet announces how many follow (its last index); the
// payloads are appended in the order the packets arrive. A packet with index 0
// always starts a new transmission, so a transmission the PC abandoned (after
// a time-out, say) never mixes with the next one. A transmission longer than a
// transfer packet can be is still received to its end, then reported as too
// long instead of being kept.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

class velk_LLPacket;

namespace velksim {

class TSimReception {
public:
    // The longest transmission kept: the largest transfer packet.
    static constexpr uint32_t MaxLength = 0x800000;

    struct TComplete {
        std::vector<uint8_t> bytes;
        bool tooLong = false;
    };

    // Takes a valid DATA packet; returns the transmission when it is complete.
    std::optional<TComplete> Accept(const velk_LLPacket &packet);
    bool InProgress() const { return expected_ > 0; }
    void Reset();

private:
    int32_t expected_ = 0;
    int32_t received_ = 0;
    bool tooLong_ = false;
    std::vector<uint8_t> bytes_;
};

} // namespace velksim
