#include "velkcommon.h"

#include <algorithm>
#include <cstring>

uint16_t SwapWord(uint16_t value) {
    return static_cast<uint16_t>((value << 8) | (value >> 8));
}

uint32_t SwapLongWord(uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

int32_t SwapLongWord(int32_t value) {
    return static_cast<int32_t>(SwapLongWord(static_cast<uint32_t>(value)));
}

int32_t RoundUpToEven(int32_t n) {
    return n + (n & 1);
}

int32_t CompareNames(const std::string &a, const std::string &b, bool caseSensitive) {
    auto fold = [caseSensitive](unsigned char c) -> int {
        if (!caseSensitive && c >= 'a' && c <= 'z')
            return c - 'a' + 'A';
        return c;
    };
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int d = fold(static_cast<unsigned char>(a[i])) - fold(static_cast<unsigned char>(b[i]));
        if (d != 0)
            return d;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string BytesToString(const uint8_t *bytes, int32_t n) {
    if (n <= 0 || bytes == nullptr)
        return {};
    const uint8_t *end = std::find(bytes, bytes + n, 0);
    return std::string(reinterpret_cast<const char *>(bytes), end - bytes);
}

void StringToBytes(const std::string &text, uint8_t *dest, int32_t n) {
    if (n <= 0)
        return;
    std::memset(dest, 0, n);
    std::memcpy(dest, text.data(), std::min<size_t>(text.size(), n));
}

uint16_t ReadBE16(const uint8_t *p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t ReadBE32(const uint8_t *p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void WriteBE16(uint8_t *p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

void WriteBE32(uint8_t *p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}
