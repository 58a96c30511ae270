#include "velkllpacket.h"

#include "HexStrings.h"
#include "velkcommon.h"
#include "velkcrc.h"
#include "velkformat.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int32_t LogBytes = 25;
// The largest payload whose packet length still fits the 16-bit total length.
constexpr int32_t MaxBuildPayload = 0xFFFF - kLLPayloadOverhead;

// The size of a packet to build, or ELLPacket when the arguments do not make one.
int32_t BuildSize(uint16_t lastIndex, uint16_t packetIndex, uint16_t payloadLength, const void *payload) {
    if (lastIndex < packetIndex || (payload == nullptr && payloadLength > 0) || payloadLength > MaxBuildPayload)
        throw ELLPacket("Pacchetto dati inconsistente.");
    return payloadLength == 0 ? kLLHeaderLength : payloadLength + kLLPayloadOverhead;
}

// The checksums run on objects of their own rather than on the library-wide
// instances: packets are built and checked on more than one thread (the
// decoder simulator runs beside the library), and the result is the same.
uint16_t HeaderCheckOf(const uint8_t *header) {
    TLrc16 lrc;
    return static_cast<uint16_t>(~lrc.Calc(header, kLLHeaderCheckAt));
}

} // namespace

velk_LLPacket::velk_LLPacket(uint16_t type, uint16_t lastIndex, uint16_t packetIndex, uint16_t payloadLength,
                             const void *payload)
    : TBuffer(BuildSize(lastIndex, packetIndex, payloadLength, payload)) {
    WriteWord(SwapWord(type));
    WriteWord(SwapWord(static_cast<uint16_t>(Size())));
    WriteWord(SwapWord(payloadLength));
    WriteWord(SwapWord(lastIndex));
    WriteWord(SwapWord(packetIndex));
    WriteWord(SwapWord(HeaderCheck()));
    if (payloadLength > 0) {
        Write(payload, payloadLength);
        TAdler32 adler;
        WriteLongWord(SwapLongWord(adler.Calc(payload, payloadLength)));
    }
}

velk_LLPacket::velk_LLPacket(int32_t capacity) : TBuffer(std::max(capacity, kLLHeaderLength)) {
    // Every byte of the storage is defined, so the checks never read garbage
    // whatever has arrived.
    std::memset(Memory(), 0, Size());
}

void velk_LLPacket::Grow(int32_t size) {
    int32_t old = Size();
    SetSize(size);
    std::memset(Memory() + old, 0, size - old);
}

int32_t velk_LLPacket::Missing() const {
    if (Count() < 2)
        return 2 - Count();
    if (Count() < 4)
        return 4 - Count();
    if (TotalLength() < kLLHeaderLength)
        return 0; // too short to be a packet: complete, and never valid
    return TotalLength() - Count();
}

int32_t velk_LLPacket::Feed(const uint8_t *bytes, int32_t n) {
    if (bytes == nullptr)
        return 0;
    int32_t consumed = 0;
    while (consumed < n && Missing() > 0) {
        WriteByte(bytes[consumed++]);
        if (Count() == 2 && PacketType() == LL_NONE) {
            // No marker here: slide the search along the stream by one byte.
            Memory()[0] = Memory()[1];
            SetCount(1);
        } else if (Count() == 4 && TotalLength() > Size()) {
            Grow(TotalLength());
        }
    }
    return consumed;
}

void velk_LLPacket::Invalidate() {
    if (Count() < 4)
        SetCount(0);
    else if (TotalLength() >= kLLHeaderLength)
        SetCount(TotalLength());
    Memory()[kLLHeaderCheckAt] = 0;
    Memory()[kLLHeaderCheckAt + 1] = 0;
}

uint16_t velk_LLPacket::PacketType() const {
    if (Count() < 2)
        return LL_NONE;
    uint16_t marker = ReadBE16(Memory());
    return marker == LL_DATA || marker == LL_ACK || marker == LL_NACK ? marker : LL_NONE;
}

uint16_t velk_LLPacket::TotalLength() const {
    return Count() >= 4 ? ReadBE16(Memory() + kLLTotalLengthAt) : 0;
}

uint16_t velk_LLPacket::PayloadLength() const {
    return Count() >= 6 ? ReadBE16(Memory() + kLLPayloadLengthAt) : 0;
}

int32_t velk_LLPacket::PacketCount() const {
    return Count() >= 8 ? ReadBE16(Memory() + kLLLastIndexAt) + 1 : 0;
}

uint16_t velk_LLPacket::StoredHeaderCheck() const {
    return Count() >= kLLHeaderLength ? ReadBE16(Memory() + kLLHeaderCheckAt) : 0;
}

uint32_t velk_LLPacket::StoredPayloadCheck() const {
    int32_t total = TotalLength();
    if (Count() < kLLPayloadOverhead || Count() != total)
        return 0;
    return ReadBE32(Memory() + total - kLLPayloadCheckLength);
}

uint16_t velk_LLPacket::HeaderCheck() const {
    return HeaderCheckOf(Memory());
}

uint32_t velk_LLPacket::PayloadCheck() const {
    TAdler32 adler;
    return adler.Calc(Payload(), ReceivedPayload());
}

int32_t velk_LLPacket::ReceivedPayload() const {
    int32_t received = std::min(Count() - kLLHeaderLength, TotalLength() - kLLPayloadOverhead);
    return std::max(received, 0);
}

bool velk_LLPacket::IsValid() const {
    if (Count() < kLLHeaderLength || Missing() != 0)
        return false;
    if (StoredHeaderCheck() != HeaderCheck())
        return false;
    int32_t total = TotalLength();
    // The payload length field must not promise more than the packet carries.
    if (PayloadLength() > std::max(total - kLLPayloadOverhead, 0))
        return false;
    return total < kLLPayloadOverhead || StoredPayloadCheck() == PayloadCheck();
}

int32_t velk_LLPacket::CopyPayload(void *dest, int32_t n) const {
    if (dest == nullptr)
        return 0;
    int32_t count = std::min({std::max(n, 0), int32_t(PayloadLength()), ReceivedPayload()});
    if (count > 0)
        std::memcpy(dest, Payload(), count);
    return count;
}

std::string velk_LLPacket::ReasonText() const {
    int32_t end = std::min(TotalLength() - kLLPayloadCheckLength, Count());
    if (end <= kLLHeaderLength)
        return {};
    return std::string(reinterpret_cast<const char *>(Payload()), end - kLLHeaderLength);
}

std::string velk_LLPacket::ToLogText() const {
    std::string hex = BytesToHex(Memory(), std::min(Count(), LogBytes));
    return Count() > LogBytes ? Format("%s ...", hex) : hex;
}
