// TFuzzFlash: the record slots of a decoder's flash for the fuzz targets, kept
// sparse. A slot never written reads as the blank byte (0xFF, erased flash)
// and costs nothing; a written slot holds its 64 KiB block. Copies share the
// blocks until one of them writes a slot, so a target can keep the flash as it
// was before an operation without copying every slot, and a slot whose block
// is still shared is known unchanged without comparing its bytes.
#pragma once

#include "velkmemorymap.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

class TFuzzFlash {
public:
    static constexpr uint32_t SlotSize = kRecordSlotSize;
    using TBlock = std::vector<uint8_t>;

    explicit TFuzzFlash(int32_t slots, uint8_t blank = 0xFF) : blocks_(size_t(slots > 0 ? slots : 0), Blank(blank)) {}

    int32_t Slots() const { return int32_t(blocks_.size()); }
    int64_t Size() const { return int64_t{Slots()} * SlotSize; }

    // The slot's SlotSize bytes.
    const uint8_t *Slot(int32_t slot) const { return blocks_[size_t(slot)]->data(); }
    // The slot's bytes to change, its own block from now on.
    uint8_t *Change(int32_t slot) {
        std::shared_ptr<TBlock> &block = blocks_[size_t(slot)];
        if (block.use_count() > 1)
            block = std::make_shared<TBlock>(*block);
        return block->data();
    }
    // A flash of one slot that holds this one's slot.
    TFuzzFlash Cut(int32_t slot) const {
        TFuzzFlash one(0);
        one.blocks_.push_back(blocks_[size_t(slot)]);
        return one;
    }

    bool SameSlot(const TFuzzFlash &other, int32_t slot) const {
        const auto &mine = blocks_[size_t(slot)];
        const auto &theirs = other.blocks_[size_t(slot)];
        return mine == theirs || *mine == *theirs;
    }
    bool operator==(const TFuzzFlash &other) const {
        if (Slots() != other.Slots())
            return false;
        for (int32_t slot = 0; slot < Slots(); ++slot)
            if (!SameSlot(other, slot))
                return false;
        return true;
    }

    // Copies length bytes from offset on (within Size) to dest, across slots.
    void Read(int64_t offset, int64_t length, uint8_t *dest) const {
        while (length > 0) {
            const int32_t slot = int32_t(offset / SlotSize);
            const int64_t within = offset % SlotSize;
            const int64_t n = std::min<int64_t>(length, SlotSize - within);
            std::memcpy(dest, Slot(slot) + within, size_t(n));
            dest += n;
            offset += n;
            length -= n;
        }
    }

private:
    // One block per blank byte for the whole run, shared by every slot never written.
    static const std::shared_ptr<TBlock> &Blank(uint8_t value) {
        static std::array<std::shared_ptr<TBlock>, 256> blanks;
        std::shared_ptr<TBlock> &blank = blanks[value];
        if (!blank)
            blank = std::make_shared<TBlock>(SlotSize, value);
        return blank;
    }

    std::vector<std::shared_ptr<TBlock>> blocks_;
};
