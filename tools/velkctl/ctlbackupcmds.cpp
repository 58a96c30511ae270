// backup, restore: the whole record area and the EEPROM to and from files.
#include "ctlcommands.h"

#include "ctlbackup.h"
#include "ctlerror.h"
#include "ctlnumbers.h"
#include "ctloutputfile.h"

#include <iostream>
#include <memory>

namespace {

TDecoderImage ReadDecoder(TCtlSession &session) {
    const TOverallProgress bar(session.Progress(), "reading the decoder",
                               int64_t(kRecordSlotCount) * kRecordSlotSize + kEepromSize);
    TDecoderImage image;
    image.Flash.reserve(std::size_t(kRecordSlotCount) * kRecordSlotSize);
    for (int32_t slot = 0; slot < kRecordSlotCount; ++slot) {
        const auto bytes = session.Read(hlsFlash, RecordSlotAddress(slot), kRecordSlotSize);
        if (bytes.size() != std::size_t(kRecordSlotSize))
            throw ECtlFailed("Slot " + std::to_string(slot) + " came back with " + std::to_string(bytes.size()) +
                             " bytes instead of " + std::to_string(kRecordSlotSize));
        image.Flash.insert(image.Flash.end(), bytes.begin(), bytes.end());
    }
    image.Eeprom = session.Read(hlsEeprom, 0, kEepromSize);
    if (image.Eeprom.size() != std::size_t(kEepromSize))
        throw ECtlFailed("The EEPROM came back with " + std::to_string(image.Eeprom.size()) + " bytes instead of " +
                         std::to_string(kEepromSize));
    return image;
}

std::string SlotLine(int32_t slot) {
    return "slot " + std::to_string(slot) + " (" + HexAddress(RecordSlotAddress(slot)) + ")";
}

} // namespace

int RunBackup(const TCtlOptions &options, const std::string &folder) {
    // The folder and its files are made ready before the long read.
    const std::vector<std::filesystem::path> files = PrepareBackupFolder(folder);
    std::vector<std::unique_ptr<TOutputFile>> outputs;
    for (const std::filesystem::path &file : files)
        outputs.push_back(std::make_unique<TOutputFile>(file.string()));
    TCtlSession session = OpenSession(options);
    const TDecoderImage image = ReadDecoder(session);
    SaveBackup(folder, image);
    for (auto &output : outputs)
        output->Keep();
    for (int32_t slot = 0; slot < kRecordSlotCount; ++slot) {
        const std::string holds = DescribeSlot(image.Slot(slot));
        if (holds != "free")
            Say(options, SlotLine(slot) + ": " + holds);
    }
    Say(options, "Backed up " + std::to_string(kRecordSlotCount) + " record slots and the EEPROM into " + folder);
    return 0;
}

int RunRestore(const TCtlOptions &options, const TRestoreArgs &args) {
    const TDecoderImage backup = LoadBackup(args.Folder);
    TCtlSession session = OpenSession(options);
    const TDecoderImage current = ReadDecoder(session);
    const TRestorePlan plan = PlanRestore(current, backup);
    if (plan.Empty()) {
        Say(options, "The decoder already holds this backup: nothing to write");
        return 0;
    }
    // What will change is always shown, also with --quiet.
    for (int32_t slot : plan.Slots)
        std::cout << SlotLine(slot) << ": " << DescribeSlot(current.Slot(slot)) << " -> "
                  << DescribeSlot(backup.Slot(slot)) << '\n';
    if (plan.Eeprom)
        std::cout << "EEPROM: changes\n";
    std::cout.flush();
    if (!args.Yes) {
        Say(options, "Nothing written: run again with --yes to write these changes");
        return 0;
    }
    // Each slot written and read back; the EEPROM, when it changes, likewise.
    const TOverallProgress bar(session.Progress(), "restoring",
                               int64_t(plan.Slots.size()) * 2 * kRecordSlotSize + (plan.Eeprom ? 2 * kEepromSize : 0));
    for (int32_t slot : plan.Slots) {
        const uint32_t address = RecordSlotAddress(slot);
        session.Write(hltFlash, backup.Slot(slot), address);
        if (session.Read(hlsFlash, address, kRecordSlotSize) !=
            std::vector<uint8_t>(backup.Slot(slot).begin(), backup.Slot(slot).end()))
            throw ECtlFailed("Restore failed: " + SlotLine(slot) + " reads back different from the backup");
    }
    if (plan.Eeprom) {
        session.Write(hltEeprom, backup.Eeprom, 0);
        if (session.Read(hlsEeprom, 0, kEepromSize) != backup.Eeprom)
            throw ECtlFailed("Restore failed: the EEPROM reads back different from the backup");
    }
    Say(options, "Restored " + std::to_string(plan.Slots.size()) + " record slots" +
                     (plan.Eeprom ? " and the EEPROM" : "") + " from " + args.Folder);
    return 0;
}

int RunVerify(const TCtlOptions &options, const std::string &folder) {
    const TDecoderImage backup = LoadBackup(folder);
    TCtlSession session = OpenSession(options);
    const TDecoderImage current = ReadDecoder(session);
    const TRestorePlan plan = PlanRestore(current, backup);
    if (plan.Empty()) {
        Say(options, "The decoder holds exactly the backup in " + folder);
        return 0;
    }
    // What differs is always shown, also with --quiet.
    for (int32_t slot : plan.Slots)
        std::cout << SlotLine(slot) << " differs: decoder " << DescribeSlot(current.Slot(slot)) << ", backup "
                  << DescribeSlot(backup.Slot(slot)) << '\n';
    if (plan.Eeprom)
        std::cout << "EEPROM differs\n";
    std::cout.flush();
    return ExitFailed;
}
