// Fuzzes the record slot image: validation, Repair, the item operations, and
// Load and Save through a decoder kept in memory, on images of any content.
//
// Input: byte 0 flags (bit 0: the image beyond the given bytes reads 0xFF, else
// 0; bit 1: the status word says "in use"), bytes 1-2 the number n of image
// bytes that follow (big-endian), n image bytes from the slot's start, then
// operations: an opcode byte and its arguments (bytes past the end read as 0).
//   0 add item       name (1), size (2)        4 set body length or item count  which (1), value (4)
//   1 delete item    index (2, signed)         5 save
//   2 repair                                   6 load from the decoder          full (1), short by (1)
//   3 set an entry   index (2), field (1), value (4)
#include "FuzzCheck.h"
#include "FuzzFill.h"
#include "FuzzInput.h"
#include "FuzzTransport.h"
#include "velkclasses.h"
#include "velkcommon.h"
#include "velkrecord.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using TItems = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

// The record's image before an operation, to compare with after it. One
// buffer serves the whole run (the operations take one snapshot each and never
// nest): a fresh 64 KiB copy per operation would cost more than the operation.
const std::vector<uint8_t> &Snapshot(const velk_Record &record) {
    static std::vector<uint8_t> image;
    image.assign(record.Image(), record.Image() + velk_Record::ImageSize);
    return image;
}

bool SameImage(const velk_Record &record, const std::vector<uint8_t> &image) {
    return std::memcmp(record.Image(), image.data(), velk_Record::ImageSize) == 0;
}

// The items of a valid record in use, with their data.
TItems Items(const velk_Record &record) {
    TItems items;
    for (int32_t i = 0; i < record.ItemCount(); ++i) {
        const velk_Record::TItem item = record.GetItem(i);
        const uint8_t *data = record.ItemData(i);
        VELK_FUZZ_CHECK(data >= record.Image() && data + item.Size <= record.Image() + velk_Record::ImageSize);
        items.emplace_back(item.Name, std::vector<uint8_t>(data, data + item.Size));
    }
    return items;
}

bool Usable(const velk_Record &record) {
    return record.InUse() && record.IsValid();
}

// What holds for every record, whatever its image.
void CheckSound(const velk_Record &record) {
    (void)record.DataStart();
    (void)record.DataEnd();
    (void)record.DataSize();
    if (!Usable(record))
        return;
    VELK_FUZZ_CHECK(record.FreeSpace() >= 0 && record.TotalSize() <= velk_Record::ImageSize);
    const TItems items = Items(record);
    for (size_t i = 0; i < items.size(); ++i) {
        const int32_t found = record.FindItem(items[i].first);
        VELK_FUZZ_CHECK(found >= 0 && found <= int32_t(i));
        VELK_FUZZ_CHECK(record.ItemName(found) == items[i].first);
        VELK_FUZZ_CHECK(record.CountItems(items[i].first) >= 1);
    }
}

// Runs CheckSound once per image in an input: it reads nothing but the image,
// so an image it passed already passes again, and an operation that was
// refused or changed nothing costs no second pass over the item table.
class TSoundCheck {
public:
    void operator()(const velk_Record &record) {
        if (!last_.empty() && SameImage(record, last_))
            return;
        CheckSound(record);
        last_.assign(record.Image(), record.Image() + velk_Record::ImageSize);
    }

private:
    std::vector<uint8_t> last_;
};

std::string ItemName(uint8_t choice) {
    static const char *const names[] = {"a", "boot", "SET", "ini", "twelve_chars", "thirteen_char"};
    return names[choice % 6];
}

void Add(velk_Record &record, TInput &input) {
    const std::string name = ItemName(input.Byte());
    const int32_t size = input.Word();
    std::vector<uint8_t> data(static_cast<size_t>(size));
    FillRepeating(data.data(), data.size(), [size](size_t i) { return uint8_t(i * 7 + size); });
    const bool usable = Usable(record);
    const TItems before = usable ? Items(record) : TItems{};
    const int32_t count = record.ItemCount();
    const std::vector<uint8_t> &image = Snapshot(record);
    try {
        const int32_t index = record.AddItem(name, data.data(), size);
        VELK_FUZZ_CHECK(record.IsValid());
        VELK_FUZZ_CHECK(index == count && record.ItemCount() == count + 1);
        if (record.InUse()) {
            TItems expected = before;
            expected.emplace_back(name.substr(0, velk_Record::ItemNameWidth), data);
            VELK_FUZZ_CHECK(Items(record) == expected);
        }
    } catch (const EVelk &) {
        VELK_FUZZ_CHECK(SameImage(record, image));
    }
}

void Delete(velk_Record &record, TInput &input) {
    const int32_t index = int16_t(input.Word());
    const bool usable = Usable(record);
    const TItems before = usable ? Items(record) : TItems{};
    const std::vector<uint8_t> &image = Snapshot(record);
    try {
        record.DeleteItem(index);
        VELK_FUZZ_CHECK(record.IsValid());
        if (record.InUse()) {
            TItems expected = before;
            VELK_FUZZ_CHECK(index >= 0 && index < int32_t(expected.size()));
            expected.erase(expected.begin() + index);
            VELK_FUZZ_CHECK(Items(record) == expected);
            // What the items left behind reads as zero.
            const uint8_t *end = record.Image() + velk_Record::HeaderSize + record.DataEnd();
            VELK_FUZZ_CHECK(
                std::all_of(end, record.Image() + velk_Record::ImageSize, [](uint8_t b) { return b == 0; }));
        }
    } catch (const EVelk &) {
        VELK_FUZZ_CHECK(SameImage(record, image));
    }
}

void Repair(velk_Record &record) {
    const bool usable = Usable(record);
    const TItems before = usable ? Items(record) : TItems{};
    const bool valid = record.Repair();
    VELK_FUZZ_CHECK(valid == record.IsValid());
    if (usable) {
        VELK_FUZZ_CHECK(valid && Items(record) == before);
        VELK_FUZZ_CHECK(record.BodyLength() == std::max(record.DataEnd(), velk_Record::MinBodyLength));
    }
    const std::vector<uint8_t> &image = Snapshot(record);
    VELK_FUZZ_CHECK(record.Repair() == valid);
    VELK_FUZZ_CHECK(SameImage(record, image));
}

void SetEntry(velk_Record &record, TInput &input) {
    const int32_t index = int16_t(input.Word());
    const uint8_t field = input.Byte();
    const int32_t value = int32_t(input.Long());
    const std::vector<uint8_t> &image = Snapshot(record);
    try {
        if (field % 3 == 0)
            record.SetItemOffset(index, value);
        else if (field % 3 == 1)
            record.SetItemSize(index, value);
        else
            record.SetItemName(index, ItemName(uint8_t(value)));
    } catch (const EVelk &) {
        VELK_FUZZ_CHECK(SameImage(record, image));
    }
}

void SetHeader(velk_Record &record, TInput &input) {
    const bool count = input.Byte() & 1;
    const int32_t value = int32_t(input.Long());
    const std::vector<uint8_t> &image = Snapshot(record);
    try {
        if (count)
            record.SetItemCount(value);
        else
            record.SetBodyLength(value);
    } catch (const EVelk &) {
        VELK_FUZZ_CHECK(SameImage(record, image));
    }
}

void Save(velk_Record &record) {
    TFuzzTransport decoder(1);
    const bool valid = record.IsValid();
    const int32_t expected = !valid ? velk_Record::ImageSize : RoundUpToEven(record.InUse() ? record.TotalSize() : 64);
    const bool dirty = record.Dirty();
    record.Save(decoder);
    VELK_FUZZ_CHECK(!record.Dirty());
    if (!dirty) {
        VELK_FUZZ_CHECK(decoder.Writes.empty());
        return;
    }
    VELK_FUZZ_CHECK(decoder.Writes.size() == 1);
    VELK_FUZZ_CHECK(decoder.Writes[0].first == TFuzzTransport::Base && decoder.Writes[0].second == expected);
    VELK_FUZZ_CHECK(expected <= velk_Record::ImageSize && expected % 2 == 0);
    VELK_FUZZ_CHECK(std::memcmp(decoder.Flash.Slot(0), record.Image(), size_t(expected)) == 0);
}

void Load(velk_Record &record, TInput &input) {
    const uint8_t how = input.Byte();
    const bool full = how & 1;
    TFuzzTransport decoder(1);
    decoder.ShortBy = input.Byte() % 8;
    std::memcpy(decoder.Flash.Change(0), record.Image(), velk_Record::ImageSize);
    const bool usable = Usable(record);
    const TItems before = usable ? Items(record) : TItems{};
    const std::vector<uint8_t> &image = Snapshot(record);
    velk_Record loaded(TFuzzTransport::Base);
    try {
        loaded.Load(decoder, full);
    } catch (const EVelk &) {
        // Only a short answer makes a load fail; the record is then unchanged.
        VELK_FUZZ_CHECK(decoder.ShortBy > 0);
        return;
    }
    VELK_FUZZ_CHECK(loaded.Loaded() == full && !loaded.Dirty());
    // The header up to the body length comes as the decoder holds it.
    VELK_FUZZ_CHECK(std::memcmp(loaded.Image(), image.data(), velk_Record::HeaderSize - 4) == 0);
    if (usable && full) {
        VELK_FUZZ_CHECK(Usable(loaded) && Items(loaded) == before);
    }
    if (usable && !full) {
        VELK_FUZZ_CHECK(Usable(loaded) && loaded.ItemCount() == int32_t(before.size()));
        for (size_t i = 0; i < before.size(); ++i)
            VELK_FUZZ_CHECK(loaded.ItemName(int32_t(i)) == before[i].first);
    }
    record.Assign(loaded, false);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TInput input(data, size);
    const uint8_t flags = input.Byte();
    size_t n = input.Word();
    const uint8_t *prefix = input.Take(n);

    // The record comes from a load of a decoder holding these bytes, the way
    // the library meets a slot; the operations can break it from there.
    TFuzzTransport decoder(1, (flags & 1) ? 0xFF : 0x00);
    uint8_t *slot = decoder.Flash.Change(0);
    std::memcpy(slot, prefix, n);
    if (flags & 2) {
        slot[0] = 0x00;
        slot[1] = 0x40;
    }
    velk_Record record(TFuzzTransport::Base);
    record.Load(decoder, true);
    TSoundCheck checkSound;
    checkSound(record);

    for (int steps = 0; input.More() && steps < 16; ++steps) {
        switch (input.Byte() % 7) {
        case 0:
            Add(record, input);
            break;
        case 1:
            Delete(record, input);
            break;
        case 2:
            Repair(record);
            break;
        case 3:
            SetEntry(record, input);
            break;
        case 4:
            SetHeader(record, input);
            break;
        case 5:
            Save(record);
            break;
        default:
            Load(record, input);
            break;
        }
        checkSound(record);
    }
    return 0;
}
