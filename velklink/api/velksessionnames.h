// The checks of what a host hands to a session: names in UTF-8 that the
// decoder (or the port component) must hold in Windows-1252, and the ranges of
// transfers. Each failure is a TSessionFailure VELK_ERR_ARGUMENT naming what is
// wrong.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// The Windows-1252 form of UTF-8 text. A character Windows-1252 cannot hold,
// or text that is not UTF-8, is refused, the text named after lead.
std::string StoredText(const std::string &utf8, const std::string &lead);

// The Windows-1252 form of a UTF-8 name of 1 to width bytes there (width 0: no
// limit). A character Windows-1252 cannot hold, text that is not UTF-8 or a
// control character is refused: two such names would both be stored as "?"
// and one would overwrite the other.
std::string SessionName(const char *utf8, const char *what, std::size_t width);

// A buffer for length bytes at address: at least one byte, not null, the
// length at most 0x7FFFFFFF (the engines' lengths are signed 32-bit), the range
// inside the 32-bit address space and, for the EEPROM, inside its 8 KiB.
void CheckTransfer(const void *buffer, uint32_t address, uint32_t length, bool eeprom);

// A UTF-8 text into a fixed field, cut at a character boundary, zero-terminated.
template <std::size_t N> void CopyName(char (&field)[N], const std::string &utf8) {
    std::size_t length = std::min(utf8.size(), N - 1);
    while (length > 0 && length < utf8.size() && (static_cast<unsigned char>(utf8[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(field, utf8.data(), length);
    field[length] = '\0';
}
