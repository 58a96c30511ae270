// The constant lookup tables of the table-driven checksums. Each table holds
// 256 entries built at compile time from the member's rule:
// - reflected rule: entry i is i put through 8 rounds of "if the low bit is set,
//   shift right by one and XOR the polynomial, otherwise only shift right";
// - normal rule: entry i is i shifted into the top byte and put through 8 rounds
//   of "if the top bit is set, shift left by one and XOR the polynomial,
//   otherwise only shift left", truncated to the width.
#pragma once

#include <array>
#include <cstdint>

using TCrc16Table = std::array<uint16_t, 256>;
using TCrc32Table = std::array<uint32_t, 256>;

namespace VelkCrcTable {

template <typename T> constexpr std::array<T, 256> Reflected(T polynomial) {
    std::array<T, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        T entry = static_cast<T>(i);
        for (int round = 0; round < 8; ++round)
            entry = (entry & 1) ? static_cast<T>((entry >> 1) ^ polynomial) : static_cast<T>(entry >> 1);
        table[i] = entry;
    }
    return table;
}

template <typename T> constexpr std::array<T, 256> Normal(T polynomial) {
    constexpr int width = sizeof(T) * 8;
    constexpr T topBit = static_cast<T>(T(1) << (width - 1));
    std::array<T, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        T entry = static_cast<T>(i << (width - 8));
        for (int round = 0; round < 8; ++round)
            entry = (entry & topBit) ? static_cast<T>((entry << 1) ^ polynomial) : static_cast<T>(entry << 1);
        table[i] = entry;
    }
    return table;
}

} // namespace VelkCrcTable

// CRC-16/ARC: reflected, polynomial 0xA001.
extern const TCrc16Table ArcCrc16Table;
// Normal, polynomial 0x1021; shared by TCcittCrc16 and TZmodemCrc16.
extern const TCrc16Table CcittCrc16Table;
// Reflected, polynomial 0x8408.
extern const TCrc16Table IrdaCrc16Table;
// The decoder family's XModem table: the reflected rule applied with the
// unreflected polynomial 0x1021 (entry 1 is 0x17CE, entry 128 is 0x1021).
extern const TCrc16Table XModemCrc16Table;
// Reflected, polynomial 0xEDB88320.
extern const TCrc32Table ZipCrc32Table;
// Normal, polynomial 0x04C11DB7.
extern const TCrc32Table JamCrc32Table;
