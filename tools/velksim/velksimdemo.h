// The demo decoder a fresh state starts with: an EEPROM slot table that admits
// every record slot but the reserved one, and in slot 0 the settings record
// "SET" with its one item "SET", so that a settings dump works at once.
#pragma once

#include "velkmemorymap.h"
#include "velkrecord.h"
#include "velksimmemory.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velksim {

// Slot table of the EEPROM (drawn in velkeeprom.h): slot words from
// SlotWords, word k at SlotWords + 4k, bit 31 set when the slot mapped to it
// belongs to the record store; the byte at ReservedSlotIndex names the one
// slot without a word. The demo reserves the last slot.
constexpr uint32_t SlotWords = kEepromSlotWordsOffset;
constexpr uint32_t ReservedSlotIndex = kEepromReservedSlotOffset;
constexpr uint8_t DemoReservedSlot = kRecordSlotCount - 1;

// Record slot layout (drawn in velkrecord.h, big-endian fields): the status
// word, the name, the body length, the item count and the item table, whose
// entries hold a 12-byte name, a data offset counted from the item count and
// a size.
constexpr uint16_t RecordInUse = velk_Record::StatusInUse;
constexpr uint32_t RecordNameAt = velk_Record::NamePosition;
constexpr uint32_t BodyLengthAt = velk_Record::BodyLengthPosition;
constexpr uint32_t ItemCountAt = velk_Record::ItemCountPosition;
constexpr uint32_t ItemTableAt = velk_Record::TablePosition;
constexpr uint32_t ItemEntrySize = velk_Record::EntrySize;

// The bytes of the demo settings item.
std::vector<uint8_t> DemoSettings();
// The image of a record slot holding one record with the given items, erased
// (0xFF) after the record's body.
struct TSimItem {
    std::string name;
    std::vector<uint8_t> data;
};
std::vector<uint8_t> RecordSlotImage(const std::string &recordName, const std::vector<TSimItem> &items);

// Erases everything, then writes the slot table and the record "SET" in slot 0.
void FillDemoState(TSimMemory &memory);

} // namespace velksim
