#include "ctldirectory.h"

#include "ctlnumbers.h"
#include "ctlutf8.h"
#include "velkcodepage.h"

#include <cstdio>

nlohmann::json DirectoryJson(velk_Records &records) {
    nlohmann::json slots = nlohmann::json::array();
    int freeSlots = 0;
    nlohmann::json reserved = nlohmann::json::array();
    for (int32_t i = 0; i < records.SlotCount(); ++i) {
        velk_Record &record = records.RecordAt(i);
        // Every slot has the same keys; what a free slot lacks is null.
        nlohmann::json slot = {{"slot", i},        {"address", HexAddress(record.Address())},
                               {"status", "free"}, {"slot_flag", records.HasSlotFlag(i)},
                               {"name", nullptr},  {"admitted", false},
                               {"valid", nullptr}, {"items", nlohmann::json::array()},
                               {"free", nullptr}};
        if (!record.InUse()) {
            ++freeSlots;
            if (!records.HasSlotFlag(i))
                reserved.push_back(i);
        } else {
            slot["status"] = "in use";
            slot["name"] = Cp1252ToUtf8(record.Name());
            slot["admitted"] = records.Rat().Flag(i) != 0;
            slot["valid"] = record.IsValid();
            if (record.IsValid())
                for (int32_t j = 0; j < record.ItemCount(); ++j)
                    slot["items"].push_back({{"name", Cp1252ToUtf8(record.ItemName(j))}, {"size", record.ItemSize(j)}});
            slot["free"] = record.FreeSpace();
        }
        slots.push_back(slot);
    }
    return {{"base", HexAddress(records.BaseAddress())},
            {"slots", slots},
            {"free_slots", freeSlots},
            {"usable_free_slots", freeSlots - int(reserved.size())},
            {"reserved_free_slots", reserved}};
}

std::string DirectoryText(const nlohmann::json &directory) {
    std::string out = "slot  address     name      admitted  items  free bytes\n";
    char line[160];
    for (const auto &slot : directory.at("slots")) {
        if (slot.at("status") != "in use")
            continue;
        const bool valid = slot.at("valid");
        std::snprintf(line, sizeof line, "%4d  %s  %s  %-8s  %5zu  %10d%s\n", slot.at("slot").get<int>(),
                      slot.at("address").get<std::string>().c_str(),
                      PadUtf8(slot.at("name").get<std::string>(), 8).c_str(),
                      slot.at("admitted").get<bool>() ? "yes" : "no", slot.at("items").size(),
                      slot.at("free").get<int>(), valid ? "" : "  (not valid)");
        out += line;
        for (const auto &item : slot.at("items")) {
            std::snprintf(line, sizeof line, "        %s  %6d bytes\n",
                          PadUtf8(item.at("name").get<std::string>(), 12).c_str(), item.at("size").get<int>());
            out += line;
        }
    }
    // A new record goes to a free slot the slot table admits; one in any other
    // slot is not found after the next refresh.
    const auto &reserved = directory.at("reserved_free_slots");
    out += "free slots: " + std::to_string(directory.at("usable_free_slots").get<int>()) + " usable of " +
           std::to_string(directory.at("free_slots").get<int>()) + " free";
    if (!reserved.empty()) {
        std::string list;
        for (const auto &slot : reserved)
            list += (list.empty() ? "" : ", ") + std::to_string(slot.get<int>());
        out += reserved.size() == 1 ? "; slot " + list + " is reserved" : "; slots " + list + " are reserved";
    }
    return out + "\n";
}
