#include "ctldirectory.h"

#include "ctlerror.h"
#include "ctlnumbers.h"
#include "ctlutf8.h"

#include <cstdio>

namespace {

void Check(velk_session *session, velk_result result) {
    if (result != VELK_OK)
        throw ECtlFailed(velk_message(session));
}

} // namespace

nlohmann::json DirectoryJson(velk_session *session) {
    velk_directory directory{};
    Check(session, velk_get_directory(session, &directory));
    nlohmann::json slots = nlohmann::json::array();
    nlohmann::json reserved = nlohmann::json::array();
    for (uint32_t i = 0; i < directory.slot_count; ++i) {
        velk_slot_info info{};
        Check(session, velk_get_slot(session, i, &info));
        // Every slot has the same keys; what a free slot lacks is null.
        nlohmann::json slot = {{"slot", i},        {"address", HexAddress(info.address)},
                               {"status", "free"}, {"slot_flag", info.slot_flag != 0},
                               {"name", nullptr},  {"admitted", false},
                               {"valid", nullptr}, {"items", nlohmann::json::array()},
                               {"free", nullptr}};
        if (info.status == VELK_SLOT_FREE) {
            if (info.slot_flag == 0)
                reserved.push_back(i);
        } else {
            slot["status"] = "in use";
            slot["name"] = std::string(info.name);
            slot["admitted"] = info.admitted != 0;
            slot["valid"] = info.status == VELK_SLOT_RECORD;
            for (uint32_t j = 0; j < info.items; ++j) {
                velk_item_info item{};
                Check(session, velk_get_slot_item(session, i, j, &item));
                slot["items"].push_back({{"name", std::string(item.name)}, {"size", item.size}});
            }
            slot["free"] = info.free;
        }
        slots.push_back(slot);
    }
    return {{"base", HexAddress(directory.base)},
            {"slots", slots},
            {"free_slots", directory.free_slots},
            {"usable_free_slots", directory.usable_free_slots},
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
