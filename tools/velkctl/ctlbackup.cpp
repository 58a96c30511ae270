#include "ctlbackup.h"

#include "ctlerror.h"
#include "ctlimagetransport.h"
#include "ctlnumbers.h"
#include "ctlsha256.h"
#include "screenerror.h"
#include "screenfiles.h"
#include "velkcodepage.h"
#include "velkrecord.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace {

constexpr const char *FlashFile = "flash.bin";
constexpr const char *EepromFile = "eeprom.bin";
constexpr const char *DescriptionFile = "backup.json";
constexpr const char *FormatName = "velkctl backup 1";

std::vector<uint8_t> Read(const std::filesystem::path &file) {
    try {
        return ReadWholeFile(file);
    } catch (const EScreenSet &error) {
        throw ECtlUsage(error.what());
    }
}

std::vector<uint8_t> ReadExactly(const std::filesystem::path &file, std::size_t size) {
    std::vector<uint8_t> data = Read(file);
    if (data.size() != size)
        throw ECtlUsage("\"" + file.string() + "\" holds " + std::to_string(data.size()) + " bytes, not " +
                        std::to_string(size));
    return data;
}

void Write(const std::filesystem::path &file, std::span<const uint8_t> data) {
    try {
        WriteWholeFile(file, data);
    } catch (const EScreenSet &error) {
        throw ECtlFailed(error.what());
    }
}

bool DescribesRecordArea(const nlohmann::json &description) {
    try {
        const nlohmann::json &flash = description.at("flash");
        return description.at("format") == FormatName && flash.at("address") == HexAddress(kRecordAreaBase) &&
               flash.at("slots") == kRecordSlotCount && flash.at("slot_size") == kRecordSlotSize;
    } catch (const nlohmann::json::exception &) {
        return false;
    }
}

// The digest the description gives at pointer, if it gives one.
std::string DigestAt(const nlohmann::json &description, const nlohmann::json::json_pointer &pointer) {
    const nlohmann::json *value = description.contains(pointer) ? &description.at(pointer) : nullptr;
    return value != nullptr && value->is_string() ? value->get<std::string>() : std::string();
}

// Backups written before digests were kept have none; those are taken as they are.
void CheckDigests(const std::filesystem::path &folder, const nlohmann::json &description, const TDecoderImage &image) {
    const std::string eeprom = DigestAt(description, nlohmann::json::json_pointer("/eeprom/sha256"));
    if (!eeprom.empty() && eeprom != Sha256Hex(image.Eeprom))
        throw ECtlUsage("\"" + (folder / EepromFile).string() + "\" no longer matches its checksum in " +
                        DescriptionFile + ": the backup was changed or damaged");
    for (int32_t slot = 0; slot < kRecordSlotCount; ++slot) {
        const std::string digest =
            DigestAt(description, nlohmann::json::json_pointer("/records/" + std::to_string(slot) + "/sha256"));
        if (!digest.empty() && digest != Sha256Hex(image.Slot(slot)))
            throw ECtlUsage("\"" + (folder / FlashFile).string() + "\" no longer matches its checksum in " +
                            DescriptionFile + " (slot " + std::to_string(slot) +
                            "): the backup was changed or damaged");
    }
}

} // namespace

std::span<const uint8_t> TDecoderImage::Slot(int32_t slot) const {
    return std::span<const uint8_t>(Flash).subspan(std::size_t(slot) * kRecordSlotSize, kRecordSlotSize);
}

std::vector<std::filesystem::path> PrepareBackupFolder(const std::filesystem::path &folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw ECtlUsage("Cannot create \"" + folder.string() + "\": " + error.message());
    if (!std::filesystem::is_directory(folder, error))
        throw ECtlUsage("Cannot use \"" + folder.string() + "\": it is not a folder");
    return {folder / FlashFile, folder / EepromFile, folder / DescriptionFile};
}

void SaveBackup(const std::filesystem::path &folder, const TDecoderImage &image) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw ECtlFailed("Cannot create \"" + folder.string() + "\": " + error.message());

    nlohmann::json records = nlohmann::json::array();
    for (int32_t slot = 0; slot < kRecordSlotCount; ++slot)
        records.push_back({{"slot", slot},
                           {"address", HexAddress(RecordSlotAddress(slot))},
                           {"holds", DescribeSlot(image.Slot(slot))},
                           {"sha256", Sha256Hex(image.Slot(slot))}});
    const nlohmann::json description = {
        {"format", FormatName},
        {"flash",
         {{"file", FlashFile},
          {"address", HexAddress(kRecordAreaBase)},
          {"slots", kRecordSlotCount},
          {"slot_size", kRecordSlotSize}}},
        {"eeprom", {{"file", EepromFile}, {"size", kEepromSize}, {"sha256", Sha256Hex(image.Eeprom)}}},
        {"records", records},
    };
    const std::string text = description.dump(2) + "\n";
    Write(folder / FlashFile, image.Flash);
    Write(folder / EepromFile, image.Eeprom);
    Write(folder / DescriptionFile, std::span(reinterpret_cast<const uint8_t *>(text.data()), text.size()));
}

TDecoderImage LoadBackup(const std::filesystem::path &folder) {
    const auto descriptionFile = folder / DescriptionFile;
    const auto raw = Read(descriptionFile);
    const nlohmann::json description = nlohmann::json::parse(raw.begin(), raw.end(), nullptr, false);
    if (!DescribesRecordArea(description))
        throw ECtlUsage("\"" + descriptionFile.string() + "\" does not describe a backup of " +
                        std::to_string(kRecordSlotCount) + " record slots from " + HexAddress(kRecordAreaBase));

    TDecoderImage image;
    image.Flash = ReadExactly(folder / FlashFile, std::size_t(kRecordSlotCount) * kRecordSlotSize);
    image.Eeprom = ReadExactly(folder / EepromFile, kEepromSize);
    CheckDigests(folder, description, image);
    return image;
}

TRestorePlan PlanRestore(const TDecoderImage &current, const TDecoderImage &backup) {
    TRestorePlan plan;
    for (int32_t slot = 0; slot < kRecordSlotCount; ++slot)
        if (!std::ranges::equal(current.Slot(slot), backup.Slot(slot)))
            plan.Slots.push_back(slot);
    plan.Eeprom = current.Eeprom != backup.Eeprom;
    return plan;
}

std::string DescribeSlot(std::span<const uint8_t> slot) {
    TImageTransport transport(slot, 0);
    velk_Record record(0);
    record.Load(transport, true);
    if (!record.InUse())
        return "free";
    if (!record.IsValid())
        return "not a valid record";
    const int32_t items = record.ItemCount();
    return "record \"" + Cp1252ToUtf8(record.Name()) + "\" (" + std::to_string(items) +
           (items == 1 ? " item)" : " items)");
}
