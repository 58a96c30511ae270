// The record directory as velkctl shows it.
#pragma once

#include "velkrecords.h"

#include <nlohmann/json.hpp>

#include <string>

// Every slot with the same keys: slot, address ("0x%08X"), status ("in use",
// "free"), slot_flag (the EEPROM's), name, admitted, valid, items (name, size)
// and free bytes (null where a free slot has none); then the number of free
// slots, how many of them the slot table admits, and the others. Names are
// UTF-8.
nlohmann::json DirectoryJson(velk_Records &records);
// The same for people: one line per slot in use with its items below it.
std::string DirectoryText(const nlohmann::json &directory);
