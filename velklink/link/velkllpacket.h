// velk_LLPacket: one link packet, exactly as on the wire. The same class builds
// packets for sending and assembles a received packet byte by byte from the
// line, where packets follow each other with no framing: the start of a packet
// is found by searching for one of the three type markers.
//
// Wire format (big-endian):
//   0  type marker      DATA A599, ACK A533, NACK A5CC
//   2  total length     12 without payload, payload length + 16 otherwise
//   4  payload length   n
//   6  last index       packets of the transfer minus one
//   8  packet index     position of this packet in its transfer
//  10  header check     x, NOT x where x is the XOR of bytes 0 to 9
//  12  payload          n bytes, only when n > 0
//  12+n payload check   Adler-32 of the payload, only when n > 0
#pragma once

#include "velkclasses.h"
#include "velkerror.h"

#include <cstdint>
#include <string>

VELK_DECLARE_EXCEPTION(ELLPacket, EVelk);

constexpr uint16_t LL_DATA = 0xA599, LL_ACK = 0xA533, LL_NACK = 0xA5CC, LL_NONE = 0xFFFF;

// The layout above, for every reader and writer of link packets (the library's
// link engine and the decoder simulator alike).
inline constexpr int32_t kLLTypeAt = 0;
inline constexpr int32_t kLLTotalLengthAt = 2;
inline constexpr int32_t kLLPayloadLengthAt = 4;
inline constexpr int32_t kLLLastIndexAt = 6;
inline constexpr int32_t kLLPacketIndexAt = 8;
inline constexpr int32_t kLLHeaderCheckAt = 10;
// The five fields and the header check: a whole packet without payload.
inline constexpr int32_t kLLHeaderLength = 12;
inline constexpr int32_t kLLPayloadCheckLength = 4;
// What a packet with payload adds to it.
inline constexpr int32_t kLLPayloadOverhead = kLLHeaderLength + kLLPayloadCheckLength;
// The longest packet either end sends: 2048 bytes, the buffer each end
// receives a packet into. Less its 16 bytes of header and payload check, that
// leaves 2032 payload bytes: a transmission of n bytes is cut into
// ceil(n / 2032) DATA packets, and a reception is sized as its announced
// packet count times 2032. (A received packet may still declare any length up
// to 65535: the receive buffer grows to hold it.)
inline constexpr int32_t kLLMaxPacketLength = 2048;
inline constexpr int32_t kLLMaxPayload = kLLMaxPacketLength - kLLPayloadOverhead;
static_assert(kLLMaxPayload == 2032);

class velk_LLPacket : public TBuffer {
public:
    // Builds a packet for sending. Raises ELLPacket when lastIndex < packetIndex
    // or when payload is null while payloadLength > 0.
    velk_LLPacket(uint16_t type, uint16_t lastIndex, uint16_t packetIndex, uint16_t payloadLength, const void *payload);
    // An empty packet for receiving: Size is the larger of capacity and 12.
    explicit velk_LLPacket(int32_t capacity);

    // Bytes still needed before the next decision; 0 when the packet is complete.
    // A packet whose total length field is below 12 is complete (and invalid)
    // as soon as its fourth byte is in. Never negative while the packet is
    // filled through Feed.
    int32_t Missing() const;
    // Appends bytes one at a time and stops as soon as Missing is 0 or the input
    // is used up; returns the number of bytes consumed. Bytes that do not start
    // with a type marker are dropped one at a time; a packet longer than Size
    // grows the buffer when its total length arrives.
    int32_t Feed(const uint8_t *bytes, int32_t n);
    // Marks the packet complete and bad: a packet with fewer than 4 bytes is
    // emptied, any other is filled to its total length, and both header-check
    // bytes become 0.
    void Invalidate();

    // Field accessors; each gives 0 (PacketType: LL_NONE) until its bytes are in.
    uint16_t PacketType() const;
    uint16_t TotalLength() const;
    uint16_t PayloadLength() const;
    // Last index plus one (0xFFFF gives 65536).
    int32_t PacketCount() const;
    uint16_t StoredHeaderCheck() const;
    // Needs the complete packet of 16 bytes or more.
    uint32_t StoredPayloadCheck() const;
    const uint8_t *Payload() const { return Memory() + kLLHeaderLength; }

    // NOT of the TLrc16 checksum of bytes 0 to 9.
    uint16_t HeaderCheck() const;
    // Adler-32 of the received payload bytes (total length - 16 when complete).
    uint32_t PayloadCheck() const;
    // Complete, both checks match, and the payload length field fits the packet.
    bool IsValid() const;

    // Copies min(n, PayloadLength) payload bytes, never more than were received;
    // returns the number copied.
    int32_t CopyPayload(void *dest, int32_t n) const;
    // A NACK's reason: the bytes from offset 12 up to the payload check.
    std::string ReasonText() const;
    // The first bytes in hex for the log, at most 25, then " ..." when longer.
    std::string ToLogText() const;

private:
    // Payload bytes received and inside the packet's declared payload area.
    int32_t ReceivedPayload() const;
    void Grow(int32_t size);
};
