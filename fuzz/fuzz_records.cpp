// Fuzzes the record directory on a decoder whose slots and slot table hold
// anything: refreshes, saves and loads, with writes that fail and reads that
// come back short. A save writes one slot, one that held the record or none,
// and leaves the item there; a load brings the bytes the decoder holds.
//
// The directory has four slots. Input: byte 0 the reserved slot index, bytes
// 1-29 the first byte of each slot
// word; then up to three slots, each a slot number (1), a byte count n (2) and
// n bytes from the slot's start (a slot number of 0xFF ends the list; other
// slots stay erased); then operations, an opcode and its arguments:
//   0 refresh   full (1)                      2 load   record (1), item (1)
//   1 save      record (1), item (1), size (2) 3 faults  fail writes, short reads (1)
#include "FuzzCheck.h"
#include "FuzzFill.h"
#include "FuzzInput.h"
#include "FuzzTransport.h"
#include "velkmemorymap.h"
#include "velkrecord.h"
#include "velkrecords.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// A directory of four slots: every rule of the directory shows on a few, and
// each slot makes every refresh build and copy several 64 KiB images.
constexpr int32_t kSlots = 4;

std::string RecordName(uint8_t choice) {
    static const char *const names[] = {"SET", "pictures", "R", "longname9"};
    return names[choice % 4];
}
std::string ItemName(uint8_t choice) {
    static const char *const names[] = {"SET", "ini", "a", "boot"};
    return names[choice % 4];
}

// The record in a slot as the decoder holds it now (read whole, repaired as a load does).
velk_Record SlotRecord(const TFuzzFlash &flash, int32_t slot) {
    TFuzzTransport copy(flash.Cut(slot));
    velk_Record record(TFuzzTransport::Base);
    record.Load(copy, true);
    return record;
}

std::vector<uint8_t> ItemBytes(const velk_Record &record, int32_t index) {
    const uint8_t *data = record.ItemData(index);
    return {data, data + record.ItemSize(index)};
}

void Save(velk_Records &records, TFuzzTransport &decoder, TInput &input) {
    const std::string name = RecordName(input.Byte());
    const std::string item = ItemName(input.Byte());
    const int32_t size = input.Word();
    TBuffer buffer(size);
    FillRepeating(buffer.Memory(), size_t(size), [size](size_t i) { return uint8_t(i ^ size); });
    const TFuzzFlash before = decoder.Flash;
    decoder.Writes.clear();
    bool saved = true;
    try {
        records.SaveItem(decoder, name, item, buffer);
    } catch (const EVelk &) {
        saved = false;
    }
    VELK_FUZZ_CHECK(decoder.Writes.size() <= 1);
    VELK_FUZZ_CHECK(!saved || decoder.Writes.size() == 1);
    if (decoder.Writes.empty()) {
        VELK_FUZZ_CHECK(decoder.Flash == before);
        return;
    }
    const int32_t slot = int32_t((decoder.Writes[0].first - TFuzzTransport::Base) / TFuzzTransport::SlotSize);
    // Only the written slot changed, and it held this record or none.
    for (int32_t other = 0; other < kSlots; ++other)
        if (other != slot)
            VELK_FUZZ_CHECK(decoder.Flash.SameSlot(before, other));
    const velk_Record was = SlotRecord(before, slot);
    // Names are kept cut to their field.
    const std::string stored = name.substr(0, velk_Record::NameWidth);
    VELK_FUZZ_CHECK(!was.InUse() || (was.IsValid() && was.Name() == stored));
    // The record now holds the item, once, with its bytes.
    const velk_Record now = SlotRecord(decoder.Flash, slot);
    VELK_FUZZ_CHECK(now.InUse() && now.IsValid() && now.Name() == stored);
    const int32_t index = now.FindItem(item);
    VELK_FUZZ_CHECK(index >= 0 && now.CountItems(item) == 1);
    VELK_FUZZ_CHECK(ItemBytes(now, index) == std::vector<uint8_t>(buffer.Memory(), buffer.Memory() + size));
}

void Load(velk_Records &records, TFuzzTransport &decoder, TInput &input) {
    const std::string name = RecordName(input.Byte());
    const std::string item = ItemName(input.Byte());
    TBuffer buffer(0);
    try {
        records.LoadItem(decoder, name, item, buffer);
    } catch (const EVelk &) {
        return;
    }
    const int32_t slot = records.FindRecord(name);
    VELK_FUZZ_CHECK(slot >= 0);
    const velk_Record held = SlotRecord(decoder.Flash, slot);
    VELK_FUZZ_CHECK(held.InUse() && held.IsValid() && held.Name() == name);
    const int32_t index = held.FindItem(item);
    VELK_FUZZ_CHECK(index >= 0);
    VELK_FUZZ_CHECK(ItemBytes(held, index) == std::vector<uint8_t>(buffer.Memory(), buffer.Memory() + buffer.Size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TInput input(data, size);
    TFuzzTransport decoder(kSlots);
    decoder.Eeprom[kEepromReservedSlotOffset] = input.Byte();
    for (int32_t word = 0; word < kEepromSlotWordCount; ++word)
        decoder.Eeprom[size_t(kEepromSlotWordsOffset + 4 * word)] = input.Byte();
    for (int slots = 0; slots < 3; ++slots) {
        const uint8_t slot = input.Byte();
        if (slot == 0xFF || !input.More())
            break;
        size_t n = std::min<size_t>(input.Word(), TFuzzTransport::SlotSize);
        const uint8_t *bytes = input.Take(n);
        std::memcpy(decoder.Flash.Change(slot % kSlots), bytes, n);
    }

    velk_Records records(TFuzzTransport::Base, kSlots);
    for (int steps = 0; input.More() && steps < 16; ++steps) {
        switch (input.Byte() % 4) {
        case 0:
            try {
                records.Refresh(decoder, input.Byte() & 1);
            } catch (const EVelk &) {
                VELK_FUZZ_CHECK(decoder.ShortBy > 0);
            }
            break;
        case 1:
            Save(records, decoder, input);
            break;
        case 2:
            Load(records, decoder, input);
            break;
        default: {
            const uint8_t faults = input.Byte();
            decoder.FailWrites = faults & 1;
            decoder.ShortBy = (faults & 2) ? 1 : 0;
            break;
        }
        }
    }
    return 0;
}
