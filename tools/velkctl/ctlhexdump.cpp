#include "ctlhexdump.h"

#include <cstdio>

std::string HexDump(std::span<const uint8_t> data, uint32_t address) {
    std::string out;
    char cell[16];
    for (std::size_t line = 0; line < data.size(); line += 16) {
        std::snprintf(cell, sizeof cell, "%08X ", static_cast<uint32_t>(address + line));
        out += cell;
        std::string ascii;
        for (std::size_t i = 0; i < 16; ++i) {
            if (i == 8)
                out += ' ';
            if (line + i < data.size()) {
                const uint8_t byte = data[line + i];
                std::snprintf(cell, sizeof cell, " %02X", byte);
                out += cell;
                ascii += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
            } else {
                out += "   ";
            }
        }
        out += "  |" + ascii + "|\n";
    }
    return out;
}
