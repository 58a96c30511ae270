// Hex formatting of packets for the protocol logs.
#pragma once

#include <cstdint>
#include <string>

char HexDigit(uint8_t value);
// "A5 99 00 1C": two upper-case digits a byte, single blanks between them.
std::string BytesToHex(const uint8_t *bytes, int32_t n);
