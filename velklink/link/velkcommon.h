// Byte-order and fixed-field helpers. Every number on the line, in a record and
// in the EEPROM slot table is big-endian; values in memory are in host order.
#pragma once

#include <cstdint>
#include <string>

uint16_t SwapWord(uint16_t value);
uint32_t SwapLongWord(uint32_t value);
int32_t SwapLongWord(int32_t value);
// An odd length becomes the next even one.
int32_t RoundUpToEven(int32_t n);
// Ordinal byte comparison; without caseSensitive only ASCII a-z are folded.
int32_t CompareNames(const std::string &a, const std::string &b, bool caseSensitive);
// The bytes up to the first zero byte, at most n of them.
std::string BytesToString(const uint8_t *bytes, int32_t n);
// Zero-fills n bytes and copies at most n characters (no terminator when full).
void StringToBytes(const std::string &text, uint8_t *dest, int32_t n);

// Big-endian field access on raw bytes.
uint16_t ReadBE16(const uint8_t *p);
uint32_t ReadBE32(const uint8_t *p);
void WriteBE16(uint8_t *p, uint16_t value);
void WriteBE32(uint8_t *p, uint32_t value);
