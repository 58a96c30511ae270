// Whole numbers as people type them into the tools: decimal, or hexadecimal
// after "0x" (or "0X"). One reading for every place that takes a number, so
// that an address written for velkctl means the same to velksim and to the
// uploader's size values.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

// The number text spells: digits only (no sign, no blanks, nothing after
// them), hexadecimal digits of either case after the prefix. Empty when text
// is no such number or does not fit in 64 bits.
inline std::optional<uint64_t> ParseWholeNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    uint64_t value = 0;
    const char *end = text.data() + text.size();
    // from_chars takes no sign for an unsigned type, and no prefix.
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}
