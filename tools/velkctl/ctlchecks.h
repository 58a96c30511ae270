// Checks of velkctl's arguments that run before the port opens: names the
// decoder can store, and address ranges the decoder accepts. Each failure is
// an ECtlUsage naming what is wrong.
#pragma once

#include "velkmemorymap.h"

#include <cstdint>
#include <string>

// The decoder's memory as it accepts requests: the record area (read anywhere
// inside it, written from the start of a slot with at most one slot's bytes)
// and the EEPROM.

// Refuses a record or item name (UTF-8) that the decoder cannot store
// (Windows-1252, 1 to width bytes there); what is "RECORD" or "ITEM". A name
// with a character Windows-1252 cannot hold, or with a control character, is
// refused: two such names would both be stored as "?" and one would overwrite
// the other.
void CheckStoredName(const std::string &utf8, const char *what, std::size_t width);

// Refuses a read (write false) or write of length bytes at address in the
// space ("flash" or "eeprom") that the decoder does not accept; the message
// gives the valid range and mentions --force.
void CheckRange(const std::string &space, uint32_t address, int64_t length, bool write);
