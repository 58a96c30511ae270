// The record directory as velkctl shows it, and the deletion of one item.
#pragma once

#include "velkrecords.h"

#include <nlohmann/json.hpp>

#include <string>

// Every slot: slot, address, status ("in use", "free"), and for a slot in use
// its name, admitted, valid, items (name, size) and free bytes; then the
// number of free slots. Names are UTF-8.
nlohmann::json DirectoryJson(velk_Records &records);
// The same for people: one line per slot in use with its items below it.
std::string DirectoryText(const nlohmann::json &directory);

// Removes the item from the record found by that name and writes the record
// back, with the checks of a load: ERecords "Record non trovato: %s.",
// "Record duplicato: %s.", "File non trovato: %s.", "File duplicato: %s.", and
// after the record was read in full, "Record non coerente: %s." and "File non
// coerente: %s." when it changed meanwhile. Needs a refreshed directory.
void DeleteRecordItem(velk_Records &records, TRecordTransport &transport, const std::string &record,
                      const std::string &item);
