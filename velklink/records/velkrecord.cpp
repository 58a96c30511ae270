#include "velkrecord.h"

#include "velkcommon.h"
#include "velkformat.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int32_t kStatusPosition = 0;
constexpr int32_t kNamePosition = velk_Record::NamePosition;
constexpr int32_t kBodyLengthPosition = velk_Record::BodyLengthPosition;
constexpr int32_t kItemCountPosition = velk_Record::ItemCountPosition;
constexpr int32_t kTablePosition = velk_Record::TablePosition;
// Bytes written for a valid record that is not in use: the status and the
// reserved bytes.
constexpr int32_t kFreeRecordSaveSize = 64;

int32_t ClampToInt(int64_t value, int32_t low, int32_t high) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, low, high));
}

} // namespace

velk_Record::velk_Record(uint32_t address) : address_(address), image_(ImageSize, 0) {
    Clear();
}

void velk_Record::Clear() {
    std::fill(image_.begin(), image_.end(), 0);
    WriteInt(kBodyLengthPosition, MinBodyLength);
    dirty_ = true;
}

void velk_Record::Assign(const velk_Record &source, bool repair) {
    if (this != &source) {
        image_ = source.image_;
        loaded_ = source.loaded_;
    }
    if (repair)
        Repair();
    dirty_ = true;
}

int32_t velk_Record::ReadInt(int32_t position) const {
    return static_cast<int32_t>(ReadBE32(image_.data() + position));
}

void velk_Record::WriteInt(int32_t position, int32_t value) {
    WriteBE32(image_.data() + position, static_cast<uint32_t>(value));
}

bool velk_Record::InUse() const {
    return ReadBE16(image_.data() + kStatusPosition) == StatusInUse;
}

void velk_Record::SetInUse(bool inUse) {
    WriteBE16(image_.data() + kStatusPosition, inUse ? StatusInUse : 0);
    dirty_ = true;
}

std::string velk_Record::Name() const {
    return BytesToString(image_.data() + kNamePosition, NameWidth);
}

void velk_Record::SetName(const std::string &name) {
    StringToBytes(name, image_.data() + kNamePosition, NameWidth);
    dirty_ = true;
}

int32_t velk_Record::BodyLength() const {
    return ReadInt(kBodyLengthPosition);
}

void velk_Record::SetBodyLength(int32_t value) {
    if (value < MinBodyLength || value > MaxBodyLength)
        throw ERecord(Format("Lunghezza record non valida: %d.", value));
    WriteInt(kBodyLengthPosition, value);
    dirty_ = true;
}

int32_t velk_Record::ItemCount() const {
    return ReadInt(kItemCountPosition);
}

void velk_Record::SetItemCount(int32_t value) {
    if (value < 0 || value > MaxItemCount)
        throw ERecord(Format("Numero elementi record non valido: %d.", value));
    WriteInt(kItemCountPosition, value);
    dirty_ = true;
}

int32_t velk_Record::EntryPosition(int32_t index) const {
    return kTablePosition + index * EntrySize;
}

void velk_Record::CheckIndex(int32_t index) const {
    // An invalid record may claim more entries than the image can hold; an
    // index past the table's room is refused like any other.
    if (index < 0 || index >= ItemCount() || index >= MaxItemCount)
        throw ERecord(Format("Indice elemento non valido: %d.", index));
}

velk_Record::TItem velk_Record::GetItem(int32_t index) const {
    CheckIndex(index);
    const int32_t at = EntryPosition(index);
    TItem item;
    item.Name = BytesToString(image_.data() + at, ItemNameWidth);
    item.Offset = ReadInt(at + ItemNameWidth);
    item.Size = ReadInt(at + ItemNameWidth + 4);
    return item;
}

void velk_Record::SetItem(int32_t index, int32_t offset, const std::string &name, int32_t size) {
    CheckIndex(index);
    const int32_t at = EntryPosition(index);
    StringToBytes(name, image_.data() + at, ItemNameWidth);
    WriteInt(at + ItemNameWidth, offset);
    WriteInt(at + ItemNameWidth + 4, size);
    dirty_ = true;
}

void velk_Record::SetItemName(int32_t index, const std::string &name) {
    TItem item = GetItem(index);
    SetItem(index, item.Offset, name, item.Size);
}

void velk_Record::SetItemOffset(int32_t index, int32_t offset) {
    TItem item = GetItem(index);
    SetItem(index, offset, item.Name, item.Size);
}

void velk_Record::SetItemSize(int32_t index, int32_t size) {
    TItem item = GetItem(index);
    SetItem(index, item.Offset, item.Name, size);
}

const uint8_t *velk_Record::ItemData(int32_t index) const {
    const int32_t position = HeaderSize + ItemOffset(index);
    return image_.data() + std::clamp(position, 0, ImageSize);
}

int64_t velk_Record::EndOfEntries(int32_t count) const {
    if (count <= 0)
        return 4;
    const TItem last = GetItem(count - 1);
    return int64_t{last.Offset} + last.Size;
}

int32_t velk_Record::DataStart() const {
    return ItemCount() > 0 && ItemCount() <= MaxItemCount ? ItemOffset(0) : 4;
}

int32_t velk_Record::DataEnd() const {
    const int32_t count = std::clamp(ItemCount(), 0, MaxItemCount);
    return ClampToInt(EndOfEntries(count), INT32_MIN, INT32_MAX);
}

int32_t velk_Record::DataSize() const {
    const int32_t count = std::clamp(ItemCount(), 0, MaxItemCount);
    int64_t sum = 0;
    for (int32_t i = 0; i < count; ++i)
        sum += ItemSize(i);
    return ClampToInt(sum, INT32_MIN, INT32_MAX);
}

bool velk_Record::IsValid() const {
    return !InUse() || StructureValid();
}

bool velk_Record::StructureValid() const {
    const int32_t length = BodyLength();
    const int32_t count = ItemCount();
    if (length < MinBodyLength || length > MaxBodyLength || count < 0 || count > MaxItemCount)
        return false;
    int64_t expected = 4 + int64_t{EntrySize} * count;
    for (int32_t i = 0; i < count; ++i) {
        const TItem item = GetItem(i);
        if (item.Offset != expected || item.Size < 0 || item.Size > length - int64_t{item.Offset})
            return false;
        expected += item.Size;
    }
    return true;
}

bool velk_Record::Repair() {
    velk_Record copy(0);
    copy.Assign(*this, false);
    if (copy.InUse()) {
        copy.SetItemCount(std::clamp(copy.ItemCount(), 0, MaxItemCount));
        copy.SetBodyLength(ClampToInt(copy.EndOfEntries(copy.ItemCount()), MinBodyLength, MaxBodyLength));
        if (copy.IsValid())
            Assign(copy, false);
    }
    return IsValid();
}

void velk_Record::Load(TRecordTransport &transport, uint32_t address, bool full) {
    const std::string failure = Format("Errore leggendo il record all'indirizzo: 0x%8.8x.", address);
    velk_Record scratch(0);

    transport.ReadFlash(address, HeadSize);
    if (!transport.WaitFor())
        throw ERecord(failure);
    // The item count stays 0 in the scratch record until the body is read, so
    // the validity test below looks at the status and L alone.
    transport.GetBuffer().GetData(scratch.image_.data(), HeaderSize);

    if (scratch.IsValid() && scratch.InUse()) {
        uint8_t head[HeadSize];
        transport.GetBuffer().GetData(head, HeadSize);
        const uint32_t count = ReadBE32(head + kItemCountPosition);
        // 32-bit arithmetic as the decoder's format defines it, then clamped.
        const int32_t tableBytes = static_cast<int32_t>(4u + 20u * count);
        const int32_t bodyBytes = std::clamp(full ? scratch.BodyLength() : tableBytes, 0, MaxBodyLength);

        transport.ReadFlash(address + HeaderSize, bodyBytes);
        if (!transport.WaitFor())
            throw ERecord(failure);
        transport.GetBuffer().GetData(scratch.image_.data() + HeaderSize, bodyBytes);
    }

    Assign(scratch, true);
    loaded_ = full;
    dirty_ = false;
}

void velk_Record::Save(TRecordTransport &transport) {
    if (!dirty_)
        return;
    int32_t count = ImageSize;
    if (IsValid())
        count = InUse() ? TotalSize() : kFreeRecordSaveSize;
    count = RoundUpToEven(count);

    transport.SendFlash(image_.data(), address_, count);
    if (!transport.WaitFor())
        throw ERecord(Format("Errore scrivendo il record all'indirizzo: 0x%8.8x.", address_));
    dirty_ = false;
}

int32_t velk_Record::FindItem(const std::string &name) const {
    if (!InUse() || !IsValid())
        return -1;
    for (int32_t i = 0; i < ItemCount(); ++i)
        if (CompareNames(ItemName(i), name, true) == 0)
            return i;
    return -1;
}

int32_t velk_Record::CountItems(const std::string &name) const {
    if (!InUse() || !IsValid())
        return 0;
    int32_t count = 0;
    for (int32_t i = 0; i < ItemCount(); ++i)
        if (CompareNames(ItemName(i), name, true) == 0)
            ++count;
    return count;
}

void velk_Record::CheckEditable() const {
    // A record not in use counts as valid whatever its bytes say, but the edits
    // move data by its item table: that table must hold together.
    if (!StructureValid())
        throw ERecord("Record non valido, impossibile effettuare l'operazione richiesta.");
}

int32_t velk_Record::AddItem(const std::string &name, const void *data, int32_t size) {
    CheckEditable();
    if (ItemCount() >= MaxItemCount)
        throw ERecord("Tabella di allocazione file piena, impossibile continuare.");
    if (size < 0)
        throw ERecord(Format("Dimensione dati non valida: %d.", size));
    if (FreeSpace() < int64_t{size} + EntrySize)
        throw ERecord("Spazio su record insufficiente, impossibile continuare.");

    const int32_t count = ItemCount();
    const int32_t offset = DataEnd() + EntrySize;
    // Make room for one more entry: the data area moves up by one entry.
    uint8_t *dataArea = image_.data() + HeaderSize + DataStart();
    std::memmove(dataArea + EntrySize, dataArea, DataSize());
    for (int32_t i = 0; i < count; ++i)
        SetItemOffset(i, ItemOffset(i) + EntrySize);

    SetItemCount(count + 1);
    SetItem(count, offset, name, size);
    SetBodyLength(BodyLength() + EntrySize + size);
    if (size > 0 && data != nullptr)
        std::memcpy(image_.data() + HeaderSize + offset, data, size);
    else if (size > 0)
        std::memset(image_.data() + HeaderSize + offset, 0, size);
    return count;
}

void velk_Record::DeleteItem(int32_t index) {
    CheckEditable();
    const TItem gone = GetItem(index);
    const int32_t count = ItemCount();

    // The entries after it move one place down in the table.
    uint8_t *entry = image_.data() + EntryPosition(index);
    std::memmove(entry, entry + EntrySize, static_cast<size_t>(count - 1 - index) * EntrySize);
    SetItemCount(count - 1);

    // Close the data gap: everything behind the item's data moves down.
    const int32_t gapStart = HeaderSize + gone.Offset;
    std::memmove(image_.data() + gapStart, image_.data() + gapStart + gone.Size, ImageSize - gapStart - gone.Size);
    for (int32_t i = index; i < count - 1; ++i)
        SetItemOffset(i, ItemOffset(i) - gone.Size);

    // Close the gap of the removed entry: the data area moves down one entry.
    uint8_t *dataArea = image_.data() + HeaderSize + DataStart();
    std::memmove(dataArea - EntrySize, dataArea, DataSize());
    for (int32_t i = 0; i < count - 1; ++i)
        SetItemOffset(i, ItemOffset(i) - EntrySize);

    // Everything behind the remaining data is free again and reads as zero.
    std::fill(image_.begin() + HeaderSize + DataEnd(), image_.end(), 0);
    SetBodyLength(BodyLength() - gone.Size - EntrySize);
}
