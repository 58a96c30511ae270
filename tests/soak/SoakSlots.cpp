#include "SoakSlots.h"

namespace {

constexpr uint32_t kHeader = 76;
constexpr int64_t kMaxBody = 65460;
constexpr int64_t kMaxItems = 3272;
constexpr int64_t kEntry = 20;

uint32_t Be32(const TSoakBytes &b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

std::string Name(const TSoakBytes &b, size_t at, size_t width) {
    std::string name;
    for (size_t i = 0; i < width && b[at + i] != 0; ++i)
        name += char(b[at + i]);
    return name;
}

} // namespace

bool TSoakRecord::SameContent(const TSoakRecord &other) const {
    if (inUse != other.inUse)
        return false;
    return !inUse || (valid == other.valid && name == other.name && items == other.items);
}

int TSoakRecord::FindItem(const std::string &item) const {
    int found = -1;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].name == item) {
            if (found >= 0)
                return -2;
            found = int(i);
        }
    return found;
}

TSoakRecord ParseSlot(const TSoakBytes &slot) {
    TSoakRecord record;
    record.inUse = slot.size() == kSoakSlotSize && slot[0] == 0x00 && slot[1] == 0x40;
    if (!record.inUse)
        return record;
    record.name = Name(slot, 64, 8);
    const int64_t length = int32_t(Be32(slot, 72));
    const int64_t count = int32_t(Be32(slot, 76));
    record.valid = false;
    if (length < 4 || length > kMaxBody || count < 0 || count > kMaxItems)
        return record;
    int64_t expected = 4 + kEntry * count;
    for (int64_t i = 0; i < count; ++i) {
        const size_t entry = size_t(80 + kEntry * i);
        const int64_t offset = int32_t(Be32(slot, entry + 12));
        const int64_t size = int32_t(Be32(slot, entry + 16));
        if (offset != expected || size < 0 || size > length - offset)
            return record;
        const size_t at = size_t(kHeader + offset);
        record.items.push_back(
            {Name(slot, entry, 12), TSoakBytes(slot.begin() + long(at), slot.begin() + long(at + size))});
        expected += size;
    }
    record.valid = true;
    record.tight = expected == length;
    return record;
}

TSoakRecord WithItemSaved(const TSoakRecord &record, const std::string &recordName, const std::string &item,
                          const TSoakBytes &data) {
    TSoakRecord saved;
    saved.inUse = true;
    saved.valid = true;
    saved.tight = true;
    saved.name = recordName;
    if (record.inUse)
        for (const TSoakItem &kept : record.items)
            if (kept.name != item)
                saved.items.push_back(kept);
    saved.items.push_back({item, data});
    return saved;
}
