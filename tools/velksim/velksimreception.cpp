#include "velksimreception.h"

#include "velkcommon.h"
#include "velkllpacket.h"

namespace velksim {

void TSimReception::Reset() {
    expected_ = 0;
    received_ = 0;
    tooLong_ = false;
    bytes_.clear();
}

std::optional<TSimReception::TComplete> TSimReception::Accept(const velk_LLPacket &packet) {
    uint16_t index = ReadBE16(packet.Memory() + kLLPacketIndexAt);
    if (index == 0 || !InProgress()) {
        Reset();
        expected_ = packet.PacketCount();
    }
    int32_t length = packet.PayloadLength();
    if (tooLong_ || bytes_.size() + length > MaxLength) {
        tooLong_ = true;
        bytes_.clear();
    } else {
        size_t at = bytes_.size();
        bytes_.resize(at + length);
        bytes_.resize(at + packet.CopyPayload(bytes_.data() + at, length));
    }
    if (++received_ < expected_)
        return std::nullopt;
    TComplete complete{std::move(bytes_), tooLong_};
    Reset();
    return complete;
}

} // namespace velksim
