// records, get, put, rm: the record directory.
#include "ctlcommands.h"

#include "ctlchecks.h"
#include "ctldirectory.h"
#include "ctlerror.h"
#include "ctlhexdump.h"
#include "ctlinputfile.h"
#include "ctlnumbers.h"
#include "ctloutputfile.h"
#include "velkclasses.h"
#include "velkcodepage.h"
#include "velkrecord.h"

#include <algorithm>
#include <iostream>
#include <optional>

namespace {

std::string RecordName(const std::string &utf8) {
    return StoredName(utf8, "RECORD", std::size_t(velk_Record::NameWidth));
}

std::string ItemName(const std::string &utf8) {
    return StoredName(utf8, "ITEM", std::size_t(velk_Record::ItemNameWidth));
}

// The largest item a new record holds: its body less the item count and the
// item's own table entry (65460 - 4 - 20).
constexpr int32_t MaxItemLength = velk_Record::MaxBodyLength - 4 - velk_Record::EntrySize;
static_assert(MaxItemLength == 65436);

// The slots whose record is in use under that name, valid or not.
std::vector<int32_t> SlotsNamed(velk_Records &records, const std::string &name) {
    std::vector<int32_t> slots;
    for (int32_t i = 0; i < records.SlotCount(); ++i)
        if (records.RecordAt(i).InUse() && records.RecordAt(i).Name() == name)
            slots.push_back(i);
    return slots;
}

std::string SlotList(const std::vector<int32_t> &slots) {
    std::string list;
    for (int32_t slot : slots)
        list += (list.empty() ? "" : ", ") + std::to_string(slot);
    return list;
}

} // namespace

void WarnDamagedNamesakes(velk_Records &records, const std::string &name) {
    for (int32_t slot : SlotsNamed(records, name))
        if (!records.RecordAt(slot).IsValid())
            PrintError("warning: slot " + std::to_string(slot) + " holds a damaged record \"" + Cp1252ToUtf8(name) +
                       "\", which a save leaves alone; \"velkctl rmrecord " + Cp1252ToUtf8(name) + " --slot " +
                       std::to_string(slot) + "\" frees it");
}

void CheckSavedSlot(const velk_Records &records, int32_t slot) {
    if (records.HasSlotFlag(slot))
        return;
    throw ECtlFailed("saved in slot " + std::to_string(slot) +
                     ", which the decoder's slot table does not admit: it will not be found after the next "
                     "refresh");
}

int RunRecords(const TCtlOptions &options, const TRecordsArgs &args) {
    TCtlSession session = OpenSession(options);
    session.Refresh(args.Full);
    const nlohmann::json directory = DirectoryJson(session.Records());
    if (args.Json)
        std::cout << directory.dump(2) << '\n';
    else
        std::cout << DirectoryText(directory);
    return 0;
}

int RunGet(const TCtlOptions &givenOptions, const TItemArgs &args) {
    const std::string record = RecordName(args.Record);
    const std::string item = ItemName(args.Item);
    std::optional<TOutputFile> output;
    if (!args.File.empty())
        output.emplace(args.File);
    TCtlOptions options = givenOptions;
    options.StatusToError = !output || output->IsStandardOutput();
    TCtlSession session = OpenSession(options);
    session.Refresh(false);
    TBuffer buffer;
    session.Records().LoadItem(session.Transport(), record, item, buffer);
    const std::span<const uint8_t> data(buffer.Memory(), std::size_t(buffer.Size()));
    if (!output) {
        std::cout << HexDump(data, 0);
        return 0;
    }
    output->Write(data);
    Say(options,
        "Loaded item " + args.Item + " of record " + args.Record + " (" + Bytes(data.size()) + ") into " + args.File);
    return 0;
}

int RunPut(const TCtlOptions &options, const TPutArgs &args) {
    const std::string record = RecordName(args.Record);
    if (args.Pairs.empty() || args.Pairs.size() % 2 != 0)
        throw ECtlUsage("put needs RECORD and then pairs of ITEM FILE");
    std::vector<std::string> names;
    std::vector<std::vector<uint8_t>> contents;
    std::size_t total = 0;
    for (std::size_t i = 0; i < args.Pairs.size(); i += 2) {
        names.push_back(ItemName(args.Pairs[i]));
        contents.push_back(ReadInputFile(args.Pairs[i + 1], std::size_t(MaxItemLength), "a record item"));
        // Each item takes its bytes and an entry of the item table.
        total += contents.back().size() + std::size_t(velk_Record::EntrySize);
        if (total > std::size_t(MaxItemLength + velk_Record::EntrySize))
            throw ECtlUsage("The files and their item table hold more than a record holds (" +
                            std::to_string(MaxItemLength + velk_Record::EntrySize) + " bytes)");
    }
    std::vector<TRecordItemData> items;
    for (std::size_t i = 0; i < names.size(); ++i)
        items.push_back({names[i], contents[i].data(), static_cast<int32_t>(contents[i].size())});

    TCtlSession session = OpenSession(options);
    session.Refresh(false);
    WarnDamagedNamesakes(session.Records(), record);
    const int32_t slot = session.Records().SaveItems(session.Transport(), record, items);
    for (std::size_t i = 0; i < names.size(); ++i)
        Say(options, "Saved " + args.Pairs[2 * i + 1] + " (" + Bytes(contents[i].size()) + ") as item " +
                         args.Pairs[2 * i] + " of record " + args.Record);
    CheckSavedSlot(session.Records(), slot);
    return 0;
}

int RunRemove(const TCtlOptions &options, const TItemArgs &args) {
    const std::string record = RecordName(args.Record);
    const std::string item = ItemName(args.Item);
    TCtlSession session = OpenSession(options);
    session.Refresh(false);
    session.Records().DeleteItem(session.Transport(), record, item);
    Say(options, "Deleted item " + args.Item + " of record " + args.Record);
    return 0;
}

int RunRemoveRecord(const TCtlOptions &options, const TRemoveRecordArgs &args) {
    const std::string record = RecordName(args.Record);
    std::optional<int32_t> chosen;
    if (!args.Slot.empty())
        chosen = static_cast<int32_t>(ParseNumber(args.Slot, "--slot", 0, kRecordSlotCount - 1));
    TCtlSession session = OpenSession(options);
    session.Refresh(false);
    velk_Records &records = session.Records();
    const std::vector<int32_t> slots = SlotsNamed(records, record);
    if (slots.empty())
        throw ECtlFailed("No record " + args.Record + " in the decoder");
    if (chosen && std::find(slots.begin(), slots.end(), *chosen) == slots.end())
        throw ECtlFailed("Slot " + std::to_string(*chosen) + " holds no record " + args.Record + " (it is in slot" +
                         (slots.size() == 1 ? " " : "s ") + SlotList(slots) + ")");
    if (!chosen && slots.size() > 1)
        throw ECtlUsage("Record " + args.Record + " is in slots " + SlotList(slots) +
                        ": give --slot N to name the one to remove");
    const int32_t slot = chosen ? *chosen : slots.front();
    // The slot is freed in a copy, written as the record format marks a free
    // slot (status 0x0000 in its first bytes); the directory takes the copy
    // only once the write has succeeded.
    velk_Record &stored = records.RecordAt(slot);
    velk_Record freed(stored.Address());
    freed.Assign(stored, false);
    freed.SetInUse(false);
    freed.Save(session.Transport());
    stored.Assign(freed, false);
    Say(options, "Removed record " + args.Record + " from slot " + std::to_string(slot));
    return 0;
}
