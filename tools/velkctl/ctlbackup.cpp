#include "ctlbackup.h"

#include "ctlerror.h"
#include "ctlinputfile.h"
#include "ctlnumbers.h"
#include "ctlsha256.h"
#include "velklink.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>

namespace {

constexpr const char *FormatName = "velkctl backup 1";
// A backup's description lists 30 slots of a few hundred bytes each: 64 KiB
// holds it many times over, and a larger file is not one of ours.
constexpr std::size_t DescriptionLimit = 64 * 1024;

std::vector<uint8_t> ReadExactly(const std::filesystem::path &file, std::size_t size) {
    std::vector<uint8_t> data = ReadRegularFile(file.string(), size, "a backup's " + file.filename().string());
    if (data.size() != size)
        throw ECtlUsage("\"" + file.string() + "\" holds " + std::to_string(data.size()) + " bytes, not " +
                        std::to_string(size));
    return data;
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

std::string Damaged(const std::filesystem::path &folder, const std::string &what) {
    return "\"" + (folder / BackupDescriptionFile).string() + "\" " + what + ": the backup is damaged and is not used";
}

// A digest as backup.json holds it: 64 hexadecimal digits.
bool IsDigest(const nlohmann::json &value) {
    if (!value.is_string())
        return false;
    const std::string text = value.get<std::string>();
    return text.size() == 64 && std::all_of(text.begin(), text.end(),
                                            [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Whether the description carries checksums at all: backups written before
// they were kept have none anywhere.
bool HasDigests(const nlohmann::json &description) {
    if (description.contains("eeprom") && description.at("eeprom").is_object() &&
        description.at("eeprom").contains("sha256"))
        return true;
    if (!description.contains("records") || !description.at("records").is_array())
        return false;
    return std::any_of(description.at("records").begin(), description.at("records").end(),
                       [](const nlohmann::json &entry) { return entry.is_object() && entry.contains("sha256"); });
}

// The digest of each slot, by slot; a backup that carries digests must carry
// one for every slot and for the EEPROM, else it is refused as damaged: a
// missing digest would leave its part unchecked.
void CheckDigests(const std::filesystem::path &folder, const nlohmann::json &description, const TDecoderImage &image) {
    const nlohmann::json eeprom = description.value("eeprom", nlohmann::json());
    if (!eeprom.is_object() || !eeprom.contains("sha256") || !IsDigest(eeprom.at("sha256")))
        throw ECtlUsage(Damaged(folder, "gives no checksum for the EEPROM"));
    std::vector<std::optional<std::string>> digests(static_cast<std::size_t>(kRecordSlotCount));
    const nlohmann::json &records = description.contains("records") ? description.at("records") : nlohmann::json();
    if (records.is_array())
        for (const nlohmann::json &entry : records) {
            if (!entry.is_object() || !entry.contains("slot") || !entry.at("slot").is_number_integer())
                throw ECtlUsage(Damaged(folder, "has a record entry without its slot"));
            const int64_t slot = entry.at("slot").get<int64_t>();
            if (slot < 0 || slot >= kRecordSlotCount || digests[std::size_t(slot)])
                throw ECtlUsage(Damaged(folder, "lists slot " + std::to_string(slot) + " wrongly"));
            if (!entry.contains("sha256") || !IsDigest(entry.at("sha256")))
                throw ECtlUsage(Damaged(folder, "gives no checksum for slot " + std::to_string(slot)));
            digests[std::size_t(slot)] = entry.at("sha256").get<std::string>();
        }
    for (int32_t slot = 0; slot < kRecordSlotCount; ++slot)
        if (!digests[std::size_t(slot)])
            throw ECtlUsage(Damaged(folder, "gives no checksum for slot " + std::to_string(slot)));

    if (eeprom.at("sha256").get<std::string>() != Sha256Hex(image.Eeprom))
        throw ECtlUsage("\"" + (folder / BackupEepromFile).string() + "\" no longer matches its checksum in " +
                        BackupDescriptionFile + ": the backup was changed or damaged");
    for (int32_t slot = 0; slot < kRecordSlotCount; ++slot)
        if (*digests[std::size_t(slot)] != Sha256Hex(image.Slot(slot)))
            throw ECtlUsage("\"" + (folder / BackupFlashFile).string() + "\" no longer matches its checksum in " +
                            BackupDescriptionFile + " (slot " + std::to_string(slot) +
                            "): the backup was changed or damaged");
}

} // namespace

std::span<const uint8_t> TDecoderImage::Slot(int32_t slot) const {
    return std::span<const uint8_t>(Flash).subspan(std::size_t(slot) * kRecordSlotSize, kRecordSlotSize);
}

std::string BackupDescription(const TDecoderImage &image) {
    nlohmann::json records = nlohmann::json::array();
    for (int32_t slot = 0; slot < kRecordSlotCount; ++slot)
        records.push_back({{"slot", slot},
                           {"address", HexAddress(RecordSlotAddress(slot))},
                           {"holds", DescribeSlot(image.Slot(slot))},
                           {"sha256", Sha256Hex(image.Slot(slot))}});
    const nlohmann::json description = {
        {"format", FormatName},
        {"flash",
         {{"file", BackupFlashFile},
          {"address", HexAddress(kRecordAreaBase)},
          {"slots", kRecordSlotCount},
          {"slot_size", kRecordSlotSize}}},
        {"eeprom", {{"file", BackupEepromFile}, {"size", kEepromSize}, {"sha256", Sha256Hex(image.Eeprom)}}},
        {"records", records},
    };
    return description.dump(2) + "\n";
}

TDecoderImage LoadBackup(const std::filesystem::path &folder, bool *checked) {
    const auto descriptionFile = folder / BackupDescriptionFile;
    const auto raw = ReadRegularFile(descriptionFile.string(), DescriptionLimit, "a backup's description");
    const nlohmann::json description = nlohmann::json::parse(raw.begin(), raw.end(), nullptr, false);
    if (!DescribesRecordArea(description))
        throw ECtlUsage("\"" + descriptionFile.string() + "\" does not describe a backup of " +
                        std::to_string(kRecordSlotCount) + " record slots from " + HexAddress(kRecordAreaBase));

    TDecoderImage image;
    image.Flash = ReadExactly(folder / BackupFlashFile, std::size_t(kRecordSlotCount) * kRecordSlotSize);
    image.Eeprom = ReadExactly(folder / BackupEepromFile, kEepromSize);
    const bool digests = HasDigests(description);
    if (digests)
        CheckDigests(folder, description, image);
    if (checked)
        *checked = digests;
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
    velk_slot_info info{};
    if (velk_describe_slot(slot.data(), uint32_t(slot.size()), &info) != VELK_OK)
        throw ECtlFailed(velk_message(nullptr));
    if (info.status == VELK_SLOT_FREE)
        return "free";
    if (info.status != VELK_SLOT_RECORD)
        return "not a valid record";
    return "record \"" + std::string(info.name) + "\" (" + std::to_string(info.items) +
           (info.items == 1 ? " item)" : " items)");
}
