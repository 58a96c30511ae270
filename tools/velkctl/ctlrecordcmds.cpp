// records, get, put, rm: the record directory.
#include "ctlcommands.h"

#include "ctlchecks.h"
#include "ctldirectory.h"
#include "ctlerror.h"
#include "ctlhexdump.h"
#include "ctlinputfile.h"
#include "ctlnumbers.h"
#include "ctloutputfile.h"

#include <algorithm>
#include <iostream>
#include <optional>

namespace {

void RecordName(const std::string &utf8) {
    CheckStoredName(utf8, "RECORD", RecordNameWidth);
}

void ItemName(const std::string &utf8) {
    CheckStoredName(utf8, "ITEM", ItemNameWidth);
}

// The largest item a new record holds: its body less the item count and the
// item's own table entry (65460 - 4 - 20).
constexpr uint32_t MaxItemLength = MaxRecordBody - 4 - ItemEntrySize;
static_assert(MaxItemLength == 65436);

// The slots whose record is in use under that name (UTF-8), valid or not.
std::vector<velk_slot_info> SlotsNamed(TCtlLink &link, const std::string &name) {
    std::vector<velk_slot_info> slots;
    for (const velk_slot_info &slot : link.Slots())
        if (slot.status != VELK_SLOT_FREE && name == slot.name)
            slots.push_back(slot);
    return slots;
}

void WarnDamagedSlot(uint32_t slot, const std::string &name) {
    PrintError("warning: slot " + std::to_string(slot) + " holds a damaged record \"" + name +
               "\", which a save leaves alone; \"velkctl rmrecord " + name + " --slot " + std::to_string(slot) +
               "\" frees it");
}

std::string SlotList(const std::vector<uint32_t> &slots) {
    std::string list;
    for (uint32_t slot : slots)
        list += (list.empty() ? "" : ", ") + std::to_string(slot);
    return list;
}

} // namespace

void WarnDamagedNamesakes(TCtlLink &link, const std::string &name) {
    for (const velk_slot_info &slot : SlotsNamed(link, name))
        if (slot.status == VELK_SLOT_DAMAGED)
            WarnDamagedSlot(slot.slot, name);
}

void CheckSavedSlot(TCtlLink &link, const std::string &name) {
    // The save went to the sound record of that name the slot table admits,
    // or else to a new one.
    std::optional<velk_slot_info> saved;
    for (const velk_slot_info &slot : SlotsNamed(link, name))
        if (slot.status == VELK_SLOT_RECORD && (!saved || (slot.admitted != 0 && saved->admitted == 0)))
            saved = slot;
    if (saved && saved->slot_flag == 0)
        throw ECtlFailed("saved in slot " + std::to_string(saved->slot) +
                         ", which the decoder's slot table does not admit: it will not be found after the next "
                         "refresh");
}

int RunRecords(const TCtlOptions &options, const TRecordsArgs &args) {
    const auto link = OpenLink(options);
    link->Refresh(args.Full);
    const nlohmann::json directory = DirectoryJson(link->Handle());
    if (args.Json)
        std::cout << directory.dump(2) << '\n';
    else
        std::cout << DirectoryText(directory);
    return 0;
}

int RunGet(const TCtlOptions &givenOptions, const TItemArgs &args) {
    // The names are checked before the port opens.
    RecordName(args.Record);
    ItemName(args.Item);
    std::optional<TOutputFile> output;
    if (!args.File.empty())
        output.emplace(args.File);
    TCtlOptions options = givenOptions;
    options.StatusToError = !output || output->IsStandardOutput();
    const auto link = OpenLink(options);
    const std::vector<uint8_t> data = link->GetItem(args.Record, args.Item);
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
    RecordName(args.Record); // checked before the port opens
    if (args.Pairs.empty() || args.Pairs.size() % 2 != 0)
        throw ECtlUsage("put needs RECORD and then pairs of ITEM FILE");
    std::vector<std::vector<uint8_t>> contents;
    std::size_t total = 0;
    for (std::size_t i = 0; i < args.Pairs.size(); i += 2) {
        ItemName(args.Pairs[i]);
        contents.push_back(ReadInputFile(args.Pairs[i + 1], std::size_t(MaxItemLength), "a record item"));
        // Each item takes its bytes and an entry of the item table.
        total += contents.back().size() + std::size_t(ItemEntrySize);
        if (total > std::size_t(MaxItemLength + ItemEntrySize))
            throw ECtlUsage("The files and their item table hold more than a record holds (" +
                            std::to_string(MaxItemLength + ItemEntrySize) + " bytes)");
    }
    std::vector<TCtlItem> items;
    for (std::size_t i = 0; i < contents.size(); ++i)
        items.push_back({args.Pairs[2 * i], contents[i]});

    const auto link = OpenLink(options);
    link->Refresh(false);
    WarnDamagedNamesakes(*link, args.Record);
    link->PutItems(args.Record, items);
    for (std::size_t i = 0; i < contents.size(); ++i)
        Say(options, "Saved " + args.Pairs[2 * i + 1] + " (" + Bytes(contents[i].size()) + ") as item " +
                         args.Pairs[2 * i] + " of record " + args.Record);
    CheckSavedSlot(*link, args.Record);
    return 0;
}

int RunRemove(const TCtlOptions &options, const TItemArgs &args) {
    // The names are checked before the port opens.
    RecordName(args.Record);
    ItemName(args.Item);
    const auto link = OpenLink(options);
    link->DeleteItem(args.Record, args.Item);
    Say(options, "Deleted item " + args.Item + " of record " + args.Record);
    return 0;
}

int RunRemoveRecord(const TCtlOptions &options, const TRemoveRecordArgs &args) {
    RecordName(args.Record); // checked before the port opens
    std::optional<uint32_t> chosen;
    if (!args.Slot.empty())
        chosen = static_cast<uint32_t>(ParseNumber(args.Slot, "--slot", 0, kRecordSlotCount - 1));
    const auto link = OpenLink(options);
    link->Refresh(false);
    std::vector<uint32_t> slots;
    for (const velk_slot_info &slot : SlotsNamed(*link, args.Record))
        slots.push_back(slot.slot);
    if (slots.empty())
        throw ECtlFailed("No record " + args.Record + " in the decoder");
    if (chosen && std::find(slots.begin(), slots.end(), *chosen) == slots.end())
        throw ECtlFailed("Slot " + std::to_string(*chosen) + " holds no record " + args.Record + " (it is in slot" +
                         (slots.size() == 1 ? " " : "s ") + SlotList(slots) + ")");
    if (!chosen && slots.size() > 1)
        throw ECtlUsage("Record " + args.Record + " is in slots " + SlotList(slots) +
                        ": give --slot N to name the one to remove");
    const uint32_t slot = chosen ? *chosen : slots.front();
    link->FreeSlot(slot);
    Say(options, "Removed record " + args.Record + " from slot " + std::to_string(slot));
    return 0;
}
