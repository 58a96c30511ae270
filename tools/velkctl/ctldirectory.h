// The record directory as velkctl shows it, from the library's directory of a
// session (velk_get_directory, velk_get_slot, velk_get_slot_item).
#pragma once

#include "velklink.h"

#include <nlohmann/json.hpp>

#include <string>

// Every slot with the same keys: slot, address ("0x%08X"), status ("in use",
// "free"), slot_flag (the EEPROM's), name, admitted, valid, items (name, size)
// and free bytes (null where a free slot has none); then the number of free
// slots, how many of them the slot table admits, and the others. Names are
// UTF-8. Raises ECtlFailed with the session's message when the library fails.
nlohmann::json DirectoryJson(velk_session *session);
// The same for people: one line per slot in use with its items below it.
std::string DirectoryText(const nlohmann::json &directory);
