// The hex dump velkctl prints for data read without an output file: 16 bytes a
// line, each line starting with the decoder address of its first byte and
// ending with the printable ASCII characters ('.' for the others).
#pragma once

#include <cstdint>
#include <span>
#include <string>

std::string HexDump(std::span<const uint8_t> data, uint32_t address);
