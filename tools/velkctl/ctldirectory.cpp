#include "ctldirectory.h"

#include "ctlnumbers.h"
#include "velkcodepage.h"
#include "velkformat.h"

#include <cstdio>

nlohmann::json DirectoryJson(velk_Records &records) {
    nlohmann::json slots = nlohmann::json::array();
    int freeSlots = 0;
    for (int32_t i = 0; i < records.SlotCount(); ++i) {
        velk_Record &record = records.RecordAt(i);
        nlohmann::json slot = {{"slot", i}, {"address", record.Address()}};
        if (!record.InUse()) {
            slot["status"] = "free";
            ++freeSlots;
        } else {
            slot["status"] = "in use";
            slot["name"] = Cp1252ToUtf8(record.Name());
            slot["admitted"] = records.Rat().Flag(i) != 0;
            slot["valid"] = record.IsValid();
            nlohmann::json items = nlohmann::json::array();
            if (record.IsValid())
                for (int32_t j = 0; j < record.ItemCount(); ++j)
                    items.push_back({{"name", Cp1252ToUtf8(record.ItemName(j))}, {"size", record.ItemSize(j)}});
            slot["items"] = items;
            slot["free"] = record.FreeSpace();
        }
        slots.push_back(slot);
    }
    return {{"base", records.BaseAddress()}, {"slots", slots}, {"free_slots", freeSlots}};
}

std::string DirectoryText(const nlohmann::json &directory) {
    std::string out = "slot  address     name      admitted  items  free bytes\n";
    char line[160];
    for (const auto &slot : directory.at("slots")) {
        if (slot.at("status") != "in use")
            continue;
        const bool valid = slot.at("valid");
        std::snprintf(line, sizeof line, "%4d  %s  %-8s  %-8s  %5zu  %10d%s\n", slot.at("slot").get<int>(),
                      HexAddress(slot.at("address").get<uint32_t>()).c_str(),
                      slot.at("name").get<std::string>().c_str(), slot.at("admitted").get<bool>() ? "yes" : "no",
                      slot.at("items").size(), slot.at("free").get<int>(), valid ? "" : "  (not valid)");
        out += line;
        for (const auto &item : slot.at("items")) {
            std::snprintf(line, sizeof line, "        %-12s  %6d bytes\n", item.at("name").get<std::string>().c_str(),
                          item.at("size").get<int>());
            out += line;
        }
    }
    out += "free slots: " + std::to_string(directory.at("free_slots").get<int>()) + "\n";
    return out;
}

void DeleteRecordItem(velk_Records &records, TRecordTransport &transport, const std::string &recordName,
                      const std::string &itemName) {
    const int32_t slot = records.FindRecord(recordName);
    if (slot < 0)
        throw ERecords(Format("Record non trovato: %s.", recordName));
    if (records.CountRecords(recordName) > 1)
        throw ERecords(Format("Record duplicato: %s.", recordName));
    velk_Record &record = records.RecordAt(slot);
    int32_t index = record.FindItem(itemName);
    if (index < 0)
        throw ERecords(Format("File non trovato: %s.", itemName));
    if (record.CountItems(itemName) > 1)
        throw ERecords(Format("File duplicato: %s.", itemName));
    // The record is written back whole: its item data must be in memory, and
    // a record that changed in the decoder since the refresh is not touched.
    if (!record.Loaded()) {
        record.Load(transport, true);
        if (record.Name() != recordName)
            throw ERecords(Format("Record non coerente: %s.", recordName));
        if (index >= record.ItemCount() || record.ItemName(index) != itemName)
            throw ERecords(Format("File non coerente: %s.", itemName));
    }
    record.DeleteItem(index);
    record.Save(transport);
}
