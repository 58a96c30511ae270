// velk_HLPacket: one transfer packet, exactly as it travels in one link
// transmission.
//
// Wire format (32-bit big-endian fields):
//   0  command       0x5A3900 and a kind byte (group nibble, memory nibble)
//   4  total length  16 + data length
//   8  data length
//  12  address       target of WRITE FLASH and WRITE EEPROM, else 0
//  16  data
#pragma once

#include "velkclasses.h"
#include "velkerror.h"

#include <cstdint>
#include <string>

VELK_DECLARE_EXCEPTION(EHLPacket, EVelk);

constexpr uint32_t HL_FIRMWARE = 0x5A390001, HL_WRITE_FLASH = 0x5A390011, HL_WRITE_EEPROM = 0x5A390012,
                   HL_READ_FLASH = 0x5A390021, HL_READ_EEPROM = 0x5A390022, HL_DATA = 0x5A390031, HL_SYNC = 0x5A390041,
                   HL_ACK = 0x5A390051, HL_NACK = 0x5A390061;

// The layout above, for every reader and writer of transfer packets.
inline constexpr int32_t kHLCommandAt = 0;
inline constexpr int32_t kHLTotalLengthAt = 4;
inline constexpr int32_t kHLDataLengthAt = 8;
inline constexpr int32_t kHLAddressAt = 12;
inline constexpr int32_t kHLHeaderLength = 16;

// A transfer packet is at most 8 MiB (0x800000 bytes) long, header included,
// so the most data one carries is 0x800000 - 16 = 0x7FFFF0 (8,388,592) bytes:
// the limit of every single transfer (a read, a write, a firmware image).
inline constexpr uint32_t kHLMaxPacketLength = 0x800000;
constexpr uint32_t HL_MAX_DATA = kHLMaxPacketLength - kHLHeaderLength;
static_assert(HL_MAX_DATA == 0x7FFFF0);

class velk_HLPacket : public TBuffer {
public:
    // Builds a packet to send. data may be null when length is 0. The address
    // is written only for WRITE FLASH and WRITE EEPROM, 0 otherwise. Raises
    // EHLPacket for null data with a length, or a length above HL_MAX_DATA.
    velk_HLPacket(uint32_t command, uint32_t address, const void *data, uint32_t length);
    // Holds a copy of the received buffer's Size bytes; nothing is checked
    // until IsValid.
    explicit velk_HLPacket(const TBuffer &received);

    // The command when the packet has one of the nine known ones, else -1.
    int64_t Command() const;
    // 0 while the packet is too short to hold the field.
    uint32_t TotalLength() const;
    uint32_t DataLength() const;
    // The first data byte (offset 16); null when the packet has no room for data.
    const uint8_t *Data() const;
    // A full header, a known command and both lengths agreeing with the size.
    bool IsValid() const;
    // Copies DataLength bytes, at most maximum and never beyond the packet;
    // returns the number copied.
    int32_t CopyData(void *dest, int32_t maximum) const;
    // The first min(TotalLength, maximum) bytes in hex, never beyond the packet,
    // followed by " ..." when maximum is below TotalLength.
    std::string Dump(int32_t maximum) const;
};
