// velk_Eeprom: an in-memory copy of the decoder's 8 KiB I2C EEPROM. The library
// interprets only its slot table, which tells which record slots belong to the
// record store:
//   0x108E  29 slot words of 32 bits (big-endian); bit 31 set = slot flag
//   0x1102  reserved slot index in the low 5 bits: the one slot without a word
// Slot j below the reserved index n uses word j, a slot above it word j - 1.
#pragma once

#include "velkerror.h"
#include "velkmemorymap.h"
#include "velkrecordtransport.h"

#include <array>
#include <cstdint>

VELK_DECLARE_EXCEPTION(EEeprom, EVelk);

class velk_Eeprom {
public:
    static constexpr int32_t ImageSize = kEepromSize;
    static constexpr int32_t SlotWordsOffset = kEepromSlotWordsOffset;
    static constexpr int32_t ReservedSlotOffset = kEepromReservedSlotOffset;

    // All bytes 0.
    velk_Eeprom() = default;

    void Fill(uint8_t value) { image_.fill(value); }
    // Positions outside the image read as 0.
    uint8_t ByteAt(int32_t position) const;
    uint32_t WordAt(int32_t position) const;

    int32_t ReservedSlotIndex() const { return ByteAt(ReservedSlotOffset) & 0x1F; }
    bool SlotFlag(int32_t slot) const;

    // Reads all 8192 bytes from the decoder; on failure the image is unchanged.
    void ReadImage(TRecordTransport &transport);

private:
    std::array<uint8_t, ImageSize> image_{};
};
