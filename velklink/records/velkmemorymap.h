// The decoder's memory map: where its record area lies in flash and where the
// slot table lies in its EEPROM. Every piece of code that addresses the
// decoder's memories (the library, the tools, the simulator, the benchmarks)
// takes its numbers from here. The record slot's inner layout is drawn in
// velkrecord.h, the slot table's in velkeeprom.h.
#pragma once

#include <cstdint>

// The first byte of record slot 0: the decoder's firmware keeps its record
// area at this flash address, the same on every decoder; nothing configures it.
inline constexpr uint32_t kRecordAreaBase = 0x34020000;
// A record slot is 64 KiB: the decoder writes flash only from the start of a
// slot and at most one slot's bytes at a time, so a record never spans two.
inline constexpr uint32_t kRecordSlotSize = 0x10000;
// The record area holds 30 slots: 0x34020000 up to just below 0x34200000.
inline constexpr int32_t kRecordSlotCount = 30;
inline constexpr uint32_t kRecordAreaSize = kRecordSlotSize * kRecordSlotCount;
// Just past the last slot.
inline constexpr uint32_t kRecordAreaEnd = kRecordAreaBase + kRecordAreaSize;

// The flash address of record slot i.
constexpr uint32_t RecordSlotAddress(int32_t slot) {
    return kRecordAreaBase + uint32_t(slot) * kRecordSlotSize;
}

// The decoder's I2C EEPROM is 8 KiB, addressed from 0.
inline constexpr int32_t kEepromSize = 8192;
// The slot table: one slot word per record slot but the reserved one (29
// words of 32 bits), followed by the byte that names the reserved slot.
inline constexpr int32_t kEepromSlotWordsOffset = 0x108E;
inline constexpr int32_t kEepromSlotWordCount = kRecordSlotCount - 1;
inline constexpr int32_t kEepromReservedSlotOffset = 0x1102;
static_assert(kEepromSlotWordsOffset + 4 * kEepromSlotWordCount == kEepromReservedSlotOffset,
              "the reserved slot byte follows the last slot word");
