// velk_Records: the directory of the decoder's record area, a run of slots of
// 64 KiB in flash. It owns one velk_Record per slot and the allocation table
// velk_Rat, refreshes both from the decoder, finds records and items by name
// and loads and saves single items.
//
// A record is found by name when it is in use, valid, its slot is admitted by
// the allocation table and its name matches byte for byte. After a refresh a
// slot is admitted exactly when the EEPROM gives it its slot flag and its record
// is in use; allocating a record admits its slot until the next refresh.
//
// Allocation prefers a free slot that has its slot flag: a record in a slot
// without one is lost to lookups at the next refresh.
#pragma once

#include "velkclasses.h"
#include "velkerror.h"
#include "velkmemorymap.h"
#include "velkrecord.h"
#include "velkrecordtransport.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

VELK_DECLARE_EXCEPTION(ERecords, EVelk);

// One item of a save of several items at once: its name and its bytes.
struct TRecordItemData {
    std::string Name;
    const uint8_t *Data = nullptr;
    int32_t Size = 0;
};

// The record allocation table: one flag per slot, 0 = not admitted.
class velk_Rat {
public:
    static constexpr int32_t Capacity = 32;

    explicit velk_Rat(int32_t slotCount);

    int32_t SlotCount() const { return slotCount_; }
    uint8_t Flag(int32_t slot) const;
    void SetFlag(int32_t slot, uint8_t value);
    // Every flag of the used slots back to 0.
    void Clear();

private:
    void CheckSlot(int32_t slot) const;

    std::array<uint8_t, Capacity> flags_{};
    int32_t slotCount_;
};

class velk_Records {
public:
    static constexpr int32_t MaxSlots = kRecordSlotCount;
    static constexpr uint32_t SlotSize = kRecordSlotSize;

    // The slot count is clamped into 0..30; every record starts cleared.
    velk_Records(uint32_t baseAddress, int32_t slotCount);

    uint32_t BaseAddress() const { return baseAddress_; }
    int32_t SlotCount() const { return static_cast<int32_t>(records_.size()); }
    velk_Record &RecordAt(int32_t index);
    velk_Rat &Rat() { return rat_; }
    // True once a refresh has completed, until the next Clear or refresh.
    bool Refreshed() const { return refreshed_; }
    // Whether the EEPROM read by the last completed refresh gives the slot its
    // slot flag (false before any refresh and for indexes outside the area).
    bool HasSlotFlag(int32_t slot) const;

    // Every record cleared, every flag 0.
    void Clear();
    // Re-reads every slot (only the item tables unless full) and the EEPROM,
    // and rebuilds the allocation table. After a failure nothing is found.
    void Refresh(TRecordTransport &transport, bool full);

    int32_t FindRecord(const std::string &name) const;
    int32_t CountRecords(const std::string &name) const;
    // Takes the lowest slot not in use that has its slot flag for a new empty
    // record of that name; when every such slot is in use, the lowest slot not
    // in use.
    int32_t AllocateRecord(const std::string &name);

    // Answers from memory only; never talks to the decoder.
    bool ItemExists(const std::string &record, const std::string &item) const;
    // Replaces the buffer's contents with the item's data.
    void LoadItem(TRecordTransport &transport, const std::string &record, const std::string &item, TBuffer &buffer);
    // Stores the buffer's Size bytes as the item, replacing one of the same
    // name, and writes the record to its slot.
    void SaveItem(TRecordTransport &transport, const std::string &record, const std::string &item,
                  const TBuffer &buffer);
    // Stores every item in order into one copy of the record, each replacing
    // one of the same name (a later item replaces an earlier one of the same
    // name), and writes the record once. Same checks, messages and rollback as
    // SaveItem: a failure leaves the record in memory and in flash as it was.
    // Returns the record's slot.
    int32_t SaveItems(TRecordTransport &transport, const std::string &record, std::span<const TRecordItemData> items);
    // Removes the item from the record found by that name and writes the record
    // to its slot. The checks of a load: ERecords "Record non trovato: %s.",
    // "Record duplicato: %s.", "File non trovato: %s.", "File duplicato: %s.",
    // and, when the record had to be read whole first, "Record non coerente: %s."
    // or "File non coerente: %s." if it changed in the decoder meanwhile. Like
    // SaveItems it refreshes a directory that is not refreshed or is stale, and a
    // failure leaves the record in memory and in flash as it was.
    void DeleteItem(TRecordTransport &transport, const std::string &record, const std::string &item);

private:
    bool IsFound(int32_t slot, const std::string &name) const;
    void StoreItems(TRecordTransport &transport, int32_t slot, bool allocated, const std::string &record,
                    std::span<const TRecordItemData> items);
    void Release(int32_t slot);
    // The record as it is in its slot, read whole if only its item table is in
    // memory; "Record non coerente: %s." when the slot no longer holds a valid
    // record of that name.
    velk_Record &Whole(TRecordTransport &transport, int32_t slot, const std::string &name);
    // The one record found by name, read whole, and the index of its one item
    // of that name, with the checks and messages of a load.
    std::pair<velk_Record *, int32_t> WholeItem(TRecordTransport &transport, const std::string &record,
                                                const std::string &item);
    // Applies edit to a copy of the record and writes the copy to the slot; the
    // record in memory becomes the copy only when that write has succeeded.
    template <typename F> void WriteEdited(TRecordTransport &transport, velk_Record &record, F &&edit);

    velk_Rat rat_;
    uint32_t baseAddress_;
    std::vector<std::unique_ptr<velk_Record>> records_;
    // The EEPROM's slot flags as the last completed refresh read them.
    std::array<bool, velk_Rat::Capacity> slotFlags_{};
    bool refreshed_ = false;
    // A record write failed: the decoder may hold the old record or the new
    // one, so the next load or save reads the directory again first.
    bool stale_ = false;
};
