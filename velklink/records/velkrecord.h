// velk_Record: the in-memory form of one 64 KiB record slot of the decoder's
// flash. It carries the whole slot image, reads and edits the item table and
// the item data, checks and repairs the structure, and reads the slot from and
// writes it to the decoder.
//
// Slot layout (big-endian numbers, offsets from the start of the slot):
//   0   status word, 0x0040 = in use        64  record name, 8 bytes
//   2   62 reserved bytes, kept as read     72  body length L (4..65460)
//   76  item count N (0..3272)              80  N entries of 20 bytes
//   then the item data back to back. An entry holds a 12-byte name, the data
//   offset (counted from offset 76) and the data size.
#pragma once

#include "velkerror.h"
#include "velkmemorymap.h"
#include "velkrecordtransport.h"

#include <cstdint>
#include <string>
#include <vector>

VELK_DECLARE_EXCEPTION(ERecord, EVelk);

class velk_Record {
public:
    static constexpr int32_t ImageSize = int32_t(kRecordSlotSize);
    static constexpr int32_t HeaderSize = 76;
    static constexpr int32_t MinBodyLength = 4;
    static constexpr int32_t MaxBodyLength = ImageSize - HeaderSize; // 65460
    static constexpr int32_t EntrySize = 20;
    static constexpr int32_t MaxItemCount = (MaxBodyLength - 4) / EntrySize; // 3272
    static constexpr int32_t NameWidth = 8;
    static constexpr int32_t ItemNameWidth = 12;
    static constexpr uint16_t StatusInUse = 0x0040;
    // Where the header's fields and the item table start in the slot.
    static constexpr int32_t NamePosition = 64;
    static constexpr int32_t BodyLengthPosition = 72;
    static constexpr int32_t ItemCountPosition = HeaderSize;
    static constexpr int32_t TablePosition = HeaderSize + 4;
    // Bytes a partial load reads first: the header and the item count.
    static constexpr int32_t HeadSize = HeaderSize + 4;

    struct TItem {
        int32_t Offset = 0;
        std::string Name;
        int32_t Size = 0;
    };

    // A cleared record (free, L 4, N 0) that is dirty and not loaded.
    explicit velk_Record(uint32_t address);

    uint32_t Address() const { return address_; }
    bool Dirty() const { return dirty_; }
    bool Loaded() const { return loaded_; }
    const uint8_t *Image() const { return image_.data(); }

    // Image all zero, then L 4. Leaves the loaded flag as it was.
    void Clear();
    // Copies the source's image and loaded flag, repairing when asked.
    void Assign(const velk_Record &source, bool repair);

    bool InUse() const;
    void SetInUse(bool inUse);
    std::string Name() const;
    void SetName(const std::string &name);
    int32_t BodyLength() const;
    void SetBodyLength(int32_t value);
    int32_t ItemCount() const;
    void SetItemCount(int32_t value);

    TItem GetItem(int32_t index) const;
    void SetItem(int32_t index, int32_t offset, const std::string &name, int32_t size);
    std::string ItemName(int32_t index) const { return GetItem(index).Name; }
    int32_t ItemOffset(int32_t index) const { return GetItem(index).Offset; }
    int32_t ItemSize(int32_t index) const { return GetItem(index).Size; }
    void SetItemName(int32_t index, const std::string &name);
    void SetItemOffset(int32_t index, int32_t offset);
    void SetItemSize(int32_t index, int32_t size);
    // The first data byte of an item; meaningful on a valid record.
    const uint8_t *ItemData(int32_t index) const;

    int32_t TotalSize() const { return BodyLength() + HeaderSize; }
    int32_t FreeSpace() const { return MaxBodyLength - BodyLength(); }
    int32_t DataStart() const;
    int32_t DataEnd() const;
    int32_t DataSize() const;

    bool IsValid() const;
    // Fits L to the item table and clamps N; returns IsValid.
    bool Repair();

    // Reads the slot at address: the header, then either the whole body (full)
    // or the item count and the item table only.
    void Load(TRecordTransport &transport, uint32_t address, bool full);
    void Load(TRecordTransport &transport, bool full) { Load(transport, address_, full); }
    // Writes the record, from its status word on, in one transfer when dirty.
    void Save(TRecordTransport &transport);

    int32_t FindItem(const std::string &name) const;
    int32_t CountItems(const std::string &name) const;
    // Appends an item; returns its index.
    int32_t AddItem(const std::string &name, const void *data, int32_t size);
    // Removes an item; the items after it close up in order.
    void DeleteItem(int32_t index);

private:
    int32_t ReadInt(int32_t position) const;
    void WriteInt(int32_t position, int32_t value);
    int32_t EntryPosition(int32_t index) const;
    void CheckIndex(int32_t index) const;
    void CheckEditable() const;
    // The rules a record in use must meet: L and N in range, the entries chained.
    bool StructureValid() const;
    // DataEnd over the first count entries, without overflow.
    int64_t EndOfEntries(int32_t count) const;

    uint32_t address_;
    bool dirty_ = false;
    bool loaded_ = false;
    std::vector<uint8_t> image_;
};
