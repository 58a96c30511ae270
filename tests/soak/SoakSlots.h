// The soak's own reading of a record slot image, written apart from the
// library's velk_Record so that a fault there cannot hide behind the same
// fault here. It knows the slot layout and its validity rules, and what a
// record should hold after an item has been saved into it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using TSoakBytes = std::vector<uint8_t>;

struct TSoakItem {
    std::string name;
    TSoakBytes data;
    bool operator==(const TSoakItem &) const = default;
};

struct TSoakRecord {
    bool inUse = false;
    bool valid = true;  // always true when not in use
    bool tight = false; // the body ends at the end of the last item
    std::string name;
    std::vector<TSoakItem> items;

    // Same use, name and items (a slot not in use has no content to compare).
    bool SameContent(const TSoakRecord &other) const;
    // The index of the item of that name, -1 when there is none; -2 when more
    // than one has it.
    int FindItem(const std::string &item) const;
};

inline constexpr uint32_t kSoakSlotSize = 65536;

TSoakRecord ParseSlot(const TSoakBytes &slot);

// What a record holds once item has been saved into it: the old item of that
// name gone, the new one at the end. record may be a slot not in use.
TSoakRecord WithItemSaved(const TSoakRecord &record, const std::string &recordName, const std::string &item,
                          const TSoakBytes &data);
