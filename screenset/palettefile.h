// Palette files (".lut"): 16 entries of four bytes, red, green, blue, alpha, at
// offsets 0..63, with no header. Bytes after offset 63 belong to someone else:
// they are neither read nor changed.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

struct TPaletteEntry {
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    uint8_t Alpha = 0;
    bool operator==(const TPaletteEntry &) const = default;
};

inline constexpr std::size_t PaletteEntryCount = 16;
inline constexpr std::size_t PaletteBytes = 4 * PaletteEntryCount;
using TPalette = std::array<TPaletteEntry, PaletteEntryCount>;

// Entries from the start of bytes; entries past their end are zero.
TPalette PaletteFromBytes(std::span<const uint8_t> bytes);
std::array<uint8_t, PaletteBytes> PaletteToBytes(const TPalette &palette);

// Reads the first 64 bytes of a file; a shorter file gives zero entries past
// its end. A missing or unreadable file raises EScreenSet naming it.
TPalette LoadPalette(const std::filesystem::path &path);
// Writes the 64 bytes at the start of the file and keeps every byte after
// them; creates the file when it is missing. Failures raise EScreenSet.
void SavePalette(const std::filesystem::path &path, const TPalette &palette);

// A cell's tool tip: " rgb RRGGBB " with upper-case hexadecimal digits.
std::string PaletteToolTip(const TPaletteEntry &entry);
