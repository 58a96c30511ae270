// The 64-byte settings item "ini" that every upload writes into record
// "pictures", and the four picture size values it carries.
//
// Layout: offsets 0..5 are one byte each, 0 or 1, for the check boxes "boot",
// "setup", "radio", "setup lut", "setup lut", "setup lut" (offsets 4 and 5 repeat
// "setup lut" on purpose: the decoder reads them so); offset 6 is 0xFF when the
// size values are set, else 0; offsets 7, 9, 11, 13 hold Orig X, Orig Y, Width
// and Height as big-endian 16-bit numbers when set, else 0; the rest is zero.
#pragma once

#include "screenresources.h"

#include <array>
#include <cstdint>
#include <string_view>

inline constexpr std::size_t SettingsItemSize = 64;
using TSettingsItem = std::array<uint8_t, SettingsItemSize>;

// Orig X, Orig Y, Width, Height. Only 0..32767 can be sent; the wider type lets
// a caller hold what the user typed until it is checked.
inline constexpr int SizeValueMin = 0;
inline constexpr int SizeValueMax = 32767;
using TSizeValues = std::array<int32_t, 4>;

// "Orig X", "Orig Y", "Width", "Height".
std::string_view SizeValueName(std::size_t index);

// The size editor's state: Modified stays false until the values are set once.
struct TSizeSettings {
    bool Modified = false;
    TSizeValues Values{};
};

// Which resource rows are checked, by row index.
using TResourceChecks = std::array<bool, ResourceCount>;

// Raises EScreenSet naming the first value outside 0..32767.
void CheckSizeValues(const TSizeValues &values);
// One value from text: a whole number, decimal or 0x hexadecimal, 0..32767;
// anything else raises EScreenSet naming the value ("Width: ...").
int32_t ParseSizeValue(std::string_view text, std::string_view name);
// "X,Y,W,H": four values as ParseSizeValue reads them.
TSizeValues ParseSizeList(std::string_view text);

// The settings item. With size.Modified set the values must lie in 0..32767,
// else EScreenSet is raised; without it the values are ignored.
TSettingsItem BuildSettingsItem(const TResourceChecks &checked, const TSizeSettings &size);
