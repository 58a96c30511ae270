// SHA-256 (FIPS 180-4) of a block of bytes, for the checksums of backups.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::span<const uint8_t> data);
