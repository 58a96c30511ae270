// The demo decoder a fresh state starts with: an EEPROM slot table that admits
// every record slot but the reserved one, and in slot 0 the settings record
// "SET" with its one item "SET", so that a settings dump works at once.
#pragma once

#include "velksimmemory.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velksim {

// Slot table of the EEPROM: 29 slot words from SlotWords, word k at
// SlotWords + 4k, bit 31 set when the slot mapped to it belongs to the record
// store; the byte at ReservedSlotIndex names the one slot without a word.
constexpr uint32_t SlotWords = 0x108E;
constexpr uint32_t ReservedSlotIndex = 0x1102;
constexpr uint8_t DemoReservedSlot = 29;

// Record slot layout (big-endian fields): status at 0 (0x0040 in use), name at
// 64 (8 bytes), body length at 72, item count at 76, item table from 80 with
// entries of a 12-byte name, a 4-byte data offset counted from offset 76 and a
// 4-byte size.
constexpr uint16_t RecordInUse = 0x0040;
constexpr uint32_t RecordNameAt = 64;
constexpr uint32_t BodyLengthAt = 72;
constexpr uint32_t ItemCountAt = 76;
constexpr uint32_t ItemTableAt = 80;
constexpr uint32_t ItemEntrySize = 20;

// The bytes of the demo settings item.
std::vector<uint8_t> DemoSettings();
// The image of a record slot holding one record with the given items, erased
// (0xFF) after the record's body.
struct TSimItem {
    std::string name;
    std::vector<uint8_t> data;
};
std::vector<uint8_t> RecordSlotImage(const std::string &recordName,
                                     const std::vector<TSimItem> &items);

// Erases everything, then writes the slot table and the record "SET" in slot 0.
void FillDemoState(TSimMemory &memory);

} // namespace velksim
