// The Windows-1252 code page, the decoder's and the library's single-byte
// text: one table for every conversion to and from Unicode (the library's
// UTF-8 edges, the window programs' UTF-16), never the system's code page.
//
// Bytes 0x00..0x7F are ASCII and 0xA0..0xFF are Latin-1: byte b is U+00bb.
// Bytes 0x80..0x9F carry the characters of the table below. The five bytes the
// code page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1
// control of the same value, as Windows converts them, so every byte survives
// a round trip through Unicode.
#pragma once

#include <optional>

inline constexpr char16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The character of a byte.
constexpr char16_t Windows1252Char(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t{byte};
}

// The byte of a character; nothing when the code page lacks it.
constexpr std::optional<unsigned char> Windows1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<unsigned char>(c);
    for (unsigned k = 0; k < 32; ++k)
        if (kWindows1252High[k] == c)
            return static_cast<unsigned char>(0x80 + k);
    return std::nullopt;
}

static_assert(Windows1252Char(0x80) == 0x20AC && Windows1252Char(0x9F) == 0x0178 && Windows1252Char(0xE0) == 0xE0);
static_assert(Windows1252Byte(0x20AC) == 0x80 && Windows1252Byte(0x0081) == 0x81 && !Windows1252Byte(0x4E2D));
