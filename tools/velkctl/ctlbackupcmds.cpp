// backup, restore: the whole record area and the EEPROM to and from files.
#include "ctlcommands.h"

#include "ctlbackup.h"
#include "ctlbackupfolder.h"
#include "ctlerror.h"
#include "ctlinterrupt.h"
#include "ctlnumbers.h"

#include <iostream>
#include <memory>

namespace {

TDecoderImage ReadDecoder(TCtlLink &link) {
    const TOverallProgress bar(link.Progress(), "reading the decoder",
                               int64_t(kRecordSlotCount) * kRecordSlotSize + kEepromSize);
    TDecoderImage image;
    image.Flash.reserve(std::size_t(kRecordSlotCount) * kRecordSlotSize);
    for (int32_t slot = 0; slot < kRecordSlotCount; ++slot) {
        const auto bytes = link.Read(TCtlSpace::Flash, RecordSlotAddress(slot), kRecordSlotSize);
        image.Flash.insert(image.Flash.end(), bytes.begin(), bytes.end());
    }
    image.Eeprom = link.Read(TCtlSpace::Eeprom, 0, kEepromSize);
    return image;
}

std::string SlotLine(int32_t slot) {
    return "slot " + std::to_string(slot) + " (" + HexAddress(RecordSlotAddress(slot)) + ")";
}

// Two different slots that read the same for people differ in bytes no
// record uses.
std::string Unused(std::span<const uint8_t> from, std::span<const uint8_t> to) {
    return DescribeSlot(from) == DescribeSlot(to) ? " (only bytes outside the record differ)" : "";
}

// "free -> record "SET" (1 item)".
std::string Change(std::span<const uint8_t> from, std::span<const uint8_t> to) {
    const std::string before = DescribeSlot(from);
    if (!Unused(from, to).empty())
        return before + Unused(from, to);
    return before + " -> " + DescribeSlot(to);
}

std::string SlotList(std::span<const int32_t> slots) {
    std::string list = slots.size() == 1 ? "slot " : "slots ";
    for (std::size_t i = 0; i < slots.size(); ++i)
        list += (i == 0 ? "" : ", ") + std::to_string(slots[i]);
    return list;
}

// How far a restore got: what a user needs to know after it stopped.
std::string RestoreNote(const TRestorePlan &plan, std::size_t slotsDone, bool eepromDone) {
    const std::span<const int32_t> slots(plan.Slots);
    std::string note = "restored " + std::to_string(slotsDone) + " of " + std::to_string(slots.size()) + " slots";
    if (slotsDone > 0)
        note += " (" + SlotList(slots.first(slotsDone)) + ")";
    if (slotsDone < slots.size())
        note += "; not yet: " + SlotList(slots.subspan(slotsDone));
    note += plan.Eeprom ? (eepromDone ? "; the EEPROM: written" : "; the EEPROM: not written")
                        : "; the EEPROM: nothing to write";
    return note + "; run the same restore again to finish";
}

// Writes the plan's slots, then the EEPROM, each verified by reading it
// back; done counts the slots verified so far (for the note of a failure).
void RestoreSlots(TCtlLink &link, const TDecoderImage &backup, const TRestorePlan &plan, std::size_t &done) {
    for (done = 0; done < plan.Slots.size(); ++done) {
        TInterrupt::SetNote(RestoreNote(plan, done, false));
        const int32_t slot = plan.Slots[done];
        const uint32_t address = RecordSlotAddress(slot);
        link.Write(TCtlTarget::Flash, backup.Slot(slot), address);
        if (link.Read(TCtlSpace::Flash, address, kRecordSlotSize) !=
            std::vector<uint8_t>(backup.Slot(slot).begin(), backup.Slot(slot).end()))
            throw ECtlFailed("Restore failed: " + SlotLine(slot) + " reads back different from the backup");
    }
    if (plan.Eeprom) {
        TInterrupt::SetNote(RestoreNote(plan, done, false));
        link.Write(TCtlTarget::Eeprom, backup.Eeprom, 0);
        if (link.Read(TCtlSpace::Eeprom, 0, kEepromSize) != backup.Eeprom)
            throw ECtlFailed("Restore failed: the EEPROM reads back different from the backup");
    }
    TInterrupt::SetNote("");
}

// A backup, with a warning when it is of the older kind without checksums.
TDecoderImage LoadChecked(const std::string &folder) {
    bool checked = false;
    TDecoderImage backup = LoadBackup(folder, &checked);
    if (!checked)
        PrintError("warning: \"" + folder + "\" is an older backup without checksums: its files cannot be checked");
    return backup;
}

} // namespace

int RunBackup(const TCtlOptions &options, const TBackupArgs &args) {
    const std::string &folder = args.Folder;
    // The folder and its files are made ready before the long read.
    TBackupFolder target(folder, args.Force);
    const auto link = OpenLink(options);
    const TDecoderImage image = ReadDecoder(*link);
    target.Save(image);
    for (int32_t slot = 0; slot < kRecordSlotCount; ++slot) {
        const std::string holds = DescribeSlot(image.Slot(slot));
        if (holds != "free")
            Say(options, SlotLine(slot) + ": " + holds);
    }
    Say(options, "Backed up " + std::to_string(kRecordSlotCount) + " record slots and the EEPROM into " + folder);
    return 0;
}

int RunRestore(const TCtlOptions &options, const TRestoreArgs &args) {
    const TDecoderImage backup = LoadChecked(args.Folder);
    const auto link = OpenLink(options);
    const TDecoderImage current = ReadDecoder(*link);
    const TRestorePlan plan = PlanRestore(current, backup);
    if (plan.Empty()) {
        Say(options, "The decoder already holds this backup: nothing to write");
        return 0;
    }
    // From here on an interrupt says how far the restore got.
    if (args.Yes)
        TInterrupt::SetNote(RestoreNote(plan, 0, false));
    // What will change is always shown, also with --quiet.
    for (int32_t slot : plan.Slots)
        std::cout << SlotLine(slot) << ": " << Change(current.Slot(slot), backup.Slot(slot)) << '\n';
    if (plan.Eeprom)
        std::cout << "EEPROM: changes\n";
    std::cout.flush();
    if (!args.Yes) {
        Say(options, "Nothing written: run again with --yes to write these changes");
        return 0;
    }
    // Each slot written and read back; the EEPROM, when it changes, likewise.
    const TOverallProgress bar(link->Progress(), "restoring",
                               int64_t(plan.Slots.size()) * 2 * kRecordSlotSize + (plan.Eeprom ? 2 * kEepromSize : 0));
    std::size_t done = 0;
    try {
        RestoreSlots(*link, backup, plan, done);
    } catch (const std::exception &error) {
        // The cause, then where the decoder stands.
        TInterrupt::SetNote("");
        PrintError(error.what());
        throw ECtlFailed(RestoreNote(plan, done, false));
    }
    Say(options, "Restored " + std::to_string(plan.Slots.size()) +
                     (plan.Slots.size() == 1 ? " record slot" : " record slots") +
                     (plan.Eeprom ? " and the EEPROM" : "") + " from " + args.Folder);
    return 0;
}

int RunVerify(const TCtlOptions &options, const std::string &folder) {
    const TDecoderImage backup = LoadChecked(folder);
    const auto link = OpenLink(options);
    const TDecoderImage current = ReadDecoder(*link);
    const TRestorePlan plan = PlanRestore(current, backup);
    if (plan.Empty()) {
        Say(options, "The decoder holds exactly the backup in " + folder);
        return 0;
    }
    // What differs is always shown, also with --quiet.
    for (int32_t slot : plan.Slots)
        std::cout << SlotLine(slot) << " differs: decoder " << DescribeSlot(current.Slot(slot)) << ", backup "
                  << DescribeSlot(backup.Slot(slot)) << Unused(current.Slot(slot), backup.Slot(slot)) << '\n';
    if (plan.Eeprom)
        std::cout << "EEPROM differs\n";
    std::cout.flush();
    return ExitFailed;
}
