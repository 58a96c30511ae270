#include "velkrecords.h"

#include "velkcommon.h"
#include "velkeeprom.h"
#include "velkformat.h"

#include <algorithm>

namespace {

int32_t ClampSlotCount(int32_t slotCount) {
    return std::clamp(slotCount, 0, velk_Records::MaxSlots);
}

std::string IndexError(int32_t index) {
    return Format("Indice records non valido: %d.", index);
}

// The index of the one item of that name; "File non trovato: %s." or "File
// duplicato: %s." otherwise.
int32_t FindOnlyItem(const velk_Record &record, const std::string &name) {
    const int32_t index = record.FindItem(name);
    if (index < 0)
        throw ERecords(Format("File non trovato: %s.", name));
    if (record.CountItems(name) > 1)
        throw ERecords(Format("File duplicato: %s.", name));
    return index;
}

} // namespace

velk_Rat::velk_Rat(int32_t slotCount) : slotCount_(std::clamp(slotCount, 0, Capacity)) {}

void velk_Rat::CheckSlot(int32_t slot) const {
    if (slot < 0 || slot >= Capacity)
        throw ERecords(IndexError(slot));
}

uint8_t velk_Rat::Flag(int32_t slot) const {
    CheckSlot(slot);
    return flags_[slot];
}

void velk_Rat::SetFlag(int32_t slot, uint8_t value) {
    CheckSlot(slot);
    flags_[slot] = value;
}

void velk_Rat::Clear() {
    std::fill(flags_.begin(), flags_.begin() + slotCount_, 0);
}

velk_Records::velk_Records(uint32_t baseAddress, int32_t slotCount)
    : rat_(ClampSlotCount(slotCount)), baseAddress_(baseAddress) {
    for (int32_t i = 0; i < ClampSlotCount(slotCount); ++i)
        records_.push_back(std::make_unique<velk_Record>(baseAddress + static_cast<uint32_t>(i) * SlotSize));
}

velk_Record &velk_Records::RecordAt(int32_t index) {
    if (index < 0 || index >= SlotCount())
        throw ERecords(IndexError(index));
    return *records_[index];
}

void velk_Records::Clear() {
    refreshed_ = false;
    stale_ = false;
    slotFlags_.fill(false);
    for (auto &record : records_)
        record->Clear();
    rat_.Clear();
}

void velk_Records::Refresh(TRecordTransport &transport, bool full) {
    Clear();
    for (auto &record : records_)
        record->Load(transport, full);

    velk_Eeprom eeprom;
    eeprom.ReadImage(transport);
    for (int32_t i = 0; i < SlotCount(); ++i)
        if (eeprom.SlotFlag(i)) {
            rat_.SetFlag(i, records_[i]->InUse() ? 1 : 0);
            slotFlags_[i] = true;
        }
    refreshed_ = true;
}

bool velk_Records::HasSlotFlag(int32_t slot) const {
    return slot >= 0 && slot < SlotCount() && slotFlags_[slot];
}

bool velk_Records::IsFound(int32_t slot, const std::string &name) const {
    const velk_Record &record = *records_[slot];
    return record.InUse() && record.IsValid() && rat_.Flag(slot) != 0 && CompareNames(record.Name(), name, true) == 0;
}

int32_t velk_Records::FindRecord(const std::string &name) const {
    for (int32_t i = 0; i < SlotCount(); ++i)
        if (IsFound(i, name))
            return i;
    return -1;
}

int32_t velk_Records::CountRecords(const std::string &name) const {
    int32_t count = 0;
    for (int32_t i = 0; i < SlotCount(); ++i)
        if (IsFound(i, name))
            ++count;
    return count;
}

int32_t velk_Records::AllocateRecord(const std::string &name) {
    int32_t slot = -1;
    for (int32_t i = 0; i < SlotCount() && slot < 0; ++i)
        if (!records_[i]->InUse() && slotFlags_[i])
            slot = i;
    // No free slot the EEPROM admits: the record still goes to the lowest free
    // slot, so a save keeps working; callers can tell by HasSlotFlag.
    for (int32_t i = 0; i < SlotCount() && slot < 0; ++i)
        if (!records_[i]->InUse())
            slot = i;
    if (slot < 0)
        throw ERecords("Record vuoto non disponibile.");
    velk_Record &record = *records_[slot];
    record.Clear();
    record.SetInUse(true);
    record.SetName(name);
    rat_.SetFlag(slot, 1);
    return slot;
}

bool velk_Records::ItemExists(const std::string &record, const std::string &item) const {
    const int32_t slot = FindRecord(record);
    return slot >= 0 && records_[slot]->FindItem(item) >= 0;
}

void velk_Records::LoadItem(TRecordTransport &transport, const std::string &recordName, const std::string &itemName,
                            TBuffer &buffer) {
    if (stale_)
        Refresh(transport, false);
    const auto [record, index] = WholeItem(transport, recordName, itemName);
    buffer.SetData(record->ItemData(index), record->GetItem(index).Size);
}

std::pair<velk_Record *, int32_t> velk_Records::WholeItem(TRecordTransport &transport, const std::string &recordName,
                                                          const std::string &itemName) {
    const int32_t slot = FindRecord(recordName);
    if (slot < 0)
        throw ERecords(Format("Record non trovato: %s.", recordName));
    if (CountRecords(recordName) > 1)
        throw ERecords(Format("Record duplicato: %s.", recordName));
    const int32_t index = FindOnlyItem(*records_[slot], itemName);
    // The full read may show a slot that changed in the decoder since the
    // item table was read: the names behind the indexes found are compared
    // again.
    velk_Record &record = Whole(transport, slot, recordName);
    if (record.GetItem(index).Name != itemName)
        throw ERecords(Format("File non coerente: %s.", itemName));
    return {&record, index};
}

void velk_Records::SaveItem(TRecordTransport &transport, const std::string &recordName, const std::string &itemName,
                            const TBuffer &buffer) {
    const TRecordItemData item{itemName, buffer.Memory(), buffer.Size()};
    SaveItems(transport, recordName, std::span(&item, 1));
}

int32_t velk_Records::SaveItems(TRecordTransport &transport, const std::string &recordName,
                                std::span<const TRecordItemData> items) {
    // Without a completed refresh every slot looks free: a save could take a
    // slot that holds a record it has never read and overwrite it.
    if (!refreshed_ || stale_)
        Refresh(transport, false);
    if (CountRecords(recordName) > 1)
        throw ERecords(Format("Record duplicato: %s.", recordName));

    int32_t slot = FindRecord(recordName);
    const bool allocated = slot < 0;
    if (allocated)
        slot = AllocateRecord(recordName);
    try {
        StoreItems(transport, slot, allocated, recordName, items);
    } catch (...) {
        // A slot taken for this save must not stay in use in memory while its
        // slot in flash is still free.
        if (allocated)
            Release(slot);
        throw;
    }
    return slot;
}

void velk_Records::StoreItems(TRecordTransport &transport, int32_t slot, bool allocated, const std::string &recordName,
                              std::span<const TRecordItemData> items) {
    velk_Record &record = allocated ? *records_[slot] : Whole(transport, slot, recordName);
    WriteEdited(transport, record, [&](velk_Record &edited) {
        for (const TRecordItemData &item : items) {
            if (edited.CountItems(item.Name) > 1)
                throw ERecords(Format("File duplicato: %s.", item.Name));
            const int32_t index = edited.FindItem(item.Name);
            if (index >= 0)
                edited.DeleteItem(index);
            edited.AddItem(item.Name, item.Data, item.Size);
        }
    });
}

void velk_Records::DeleteItem(TRecordTransport &transport, const std::string &recordName, const std::string &itemName) {
    if (!refreshed_ || stale_)
        Refresh(transport, false);
    const auto [record, index] = WholeItem(transport, recordName, itemName);
    WriteEdited(transport, *record, [index = index](velk_Record &edited) { edited.DeleteItem(index); });
}

velk_Record &velk_Records::Whole(TRecordTransport &transport, int32_t slot, const std::string &name) {
    velk_Record &record = *records_[slot];
    if (!record.Loaded()) {
        record.Load(transport, true);
        // A record that is no longer valid has no item data to trust either.
        if (!record.InUse() || !record.IsValid() || record.Name() != name)
            throw ERecords(Format("Record non coerente: %s.", name));
    }
    return record;
}

template <typename F> void velk_Records::WriteEdited(TRecordTransport &transport, velk_Record &record, F &&edit) {
    // The edit is made on a copy, so a record that cannot take it keeps its
    // old items in memory as it does in flash.
    velk_Record edited(record.Address());
    edited.Assign(record, false);
    edit(edited);
    velk_Record previous(record.Address());
    previous.Assign(record, false);
    record.Assign(edited, false);
    try {
        record.Save(transport);
    } catch (...) {
        // Whether the decoder took the write is unknown. The edit must not reach
        // flash later with another save, and no load may answer from it.
        record.Assign(previous, false);
        stale_ = true;
        throw;
    }
}

void velk_Records::Release(int32_t slot) {
    records_[slot]->Clear();
    rat_.SetFlag(slot, 0);
}
