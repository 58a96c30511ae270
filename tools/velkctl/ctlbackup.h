// Backups of a decoder: the whole record area and the EEPROM, kept in a folder as flash.bin, eeprom.bin
// and a description backup.json. A restore compares the backup with what the
// decoder holds and writes only the slots (and the EEPROM) that differ.
#pragma once

#include "velkmemorymap.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

struct TDecoderImage {
    std::vector<uint8_t> Flash;  // kRecordSlotCount x kRecordSlotSize, slot 0 first
    std::vector<uint8_t> Eeprom; // kEepromSize

    std::span<const uint8_t> Slot(int32_t slot) const;
};

inline constexpr const char *BackupFlashFile = "flash.bin";
inline constexpr const char *BackupEepromFile = "eeprom.bin";
inline constexpr const char *BackupDescriptionFile = "backup.json";

// The text of backup.json for image.
std::string BackupDescription(const TDecoderImage &image);
// Reads a backup; ECtlUsage naming a file that is missing, unreadable, not a
// regular file or of the wrong size, a description of another record area, or
// checksums that are incomplete or do not match. A backup without any checksum
// (an older format) is taken as it is: checked tells whether it was checked.
TDecoderImage LoadBackup(const std::filesystem::path &folder, bool *checked = nullptr);

struct TRestorePlan {
    std::vector<int32_t> Slots; // slots whose bytes differ, in order
    bool Eeprom = false;
    bool Empty() const { return Slots.empty() && !Eeprom; }
};
TRestorePlan PlanRestore(const TDecoderImage &current, const TDecoderImage &backup);

// What a slot image holds, for people: "free", "record \"SET\" (1 item)",
// "not a valid record".
std::string DescribeSlot(std::span<const uint8_t> slot);
