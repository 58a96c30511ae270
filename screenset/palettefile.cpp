#include "palettefile.h"

#include "screenfiles.h"

#include <algorithm>
#include <cstdio>

TPalette PaletteFromBytes(std::span<const uint8_t> bytes) {
    std::array<uint8_t, PaletteBytes> raw{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), raw.size()), raw.begin());
    TPalette palette;
    for (std::size_t i = 0; i < PaletteEntryCount; ++i)
        palette[i] = {raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], raw[4 * i + 3]};
    return palette;
}

std::array<uint8_t, PaletteBytes> PaletteToBytes(const TPalette &palette) {
    std::array<uint8_t, PaletteBytes> raw{};
    for (std::size_t i = 0; i < PaletteEntryCount; ++i) {
        raw[4 * i] = palette[i].Red;
        raw[4 * i + 1] = palette[i].Green;
        raw[4 * i + 2] = palette[i].Blue;
        raw[4 * i + 3] = palette[i].Alpha;
    }
    return raw;
}

TPalette LoadPalette(const std::filesystem::path &path) {
    return PaletteFromBytes(ReadWholeFile(path));
}

void SavePalette(const std::filesystem::path &path, const TPalette &palette) {
    WriteFileStart(path, PaletteToBytes(palette));
}

std::string PaletteToolTip(const TPaletteEntry &entry) {
    char text[16];
    std::snprintf(text, sizeof text, " rgb %02X%02X%02X ", entry.Red, entry.Green, entry.Blue);
    return text;
}
