#include "velksimdemo.h"

#include "velkcommon.h"

#include <algorithm>

namespace velksim {

std::vector<uint8_t> DemoSettings() {
    // A small settings block as a decoder keeps it: a format version, the
    // on-screen language, video and aspect modes, audio volume and the last
    // channel, the screen origin and size, and a few reserved bytes.
    return {
        0x01,                                           // format version
        0x00,                                           // language: first of the menu's list
        0x01,                                           // video standard: PAL
        0x02,                                           // aspect: 16:9
        0x00, 0x64,                                     // volume 100
        0x00, 0x01,                                     // last channel 1
        0x00, 0x00, 0x00, 0x00,                         // screen origin X, Y
        0x02, 0xD0, 0x02, 0x40,                         // screen width 720, height 576
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // reserved
    };
}

std::vector<uint8_t> RecordSlotImage(const std::string &recordName, const std::vector<TSimItem> &items) {
    std::vector<uint8_t> slot(SlotSize, Erased);
    std::fill(slot.begin(), slot.begin() + ItemTableAt, 0);
    WriteBE16(slot.data(), RecordInUse);
    StringToBytes(recordName, slot.data() + RecordNameAt, velk_Record::NameWidth);
    uint32_t count = uint32_t(items.size());
    uint32_t offset = 4 + ItemEntrySize * count; // data offsets count from the item count field
    WriteBE32(slot.data() + ItemCountAt, count);
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t *entry = slot.data() + ItemTableAt + ItemEntrySize * i;
        const TSimItem &item = items[i];
        StringToBytes(item.name, entry, velk_Record::ItemNameWidth);
        WriteBE32(entry + velk_Record::ItemNameWidth, offset);
        WriteBE32(entry + velk_Record::ItemNameWidth + 4, uint32_t(item.data.size()));
        if (ItemCountAt + offset + item.data.size() > SlotSize)
            throw ESimRange("Record items do not fit a record slot");
        std::copy(item.data.begin(), item.data.end(), slot.begin() + ItemCountAt + offset);
        offset += uint32_t(item.data.size());
    }
    WriteBE32(slot.data() + BodyLengthAt, offset);
    return slot;
}

void FillDemoState(TSimMemory &memory) {
    memory.EraseFlash();
    memory.EraseEeprom();
    std::vector<uint8_t> table(ReservedSlotIndex + 1 - SlotWords, 0);
    for (int32_t word = 0; word < SlotCount - 1; ++word)
        WriteBE32(table.data() + 4 * word, 0x80000000u);
    table.back() = DemoReservedSlot;
    memory.WriteEeprom(SlotWords, table);
    memory.WriteFlash(SlotAddress(0), RecordSlotImage("SET", {{"SET", DemoSettings()}}));
}

} // namespace velksim
