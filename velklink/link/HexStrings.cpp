#include "HexStrings.h"

char HexDigit(uint8_t value) {
    return "0123456789ABCDEF"[value & 15];
}

std::string BytesToHex(const uint8_t *bytes, int32_t n) {
    std::string out;
    if (n <= 0 || bytes == nullptr)
        return out;
    out.reserve(static_cast<size_t>(n) * 3);
    for (int32_t i = 0; i < n; ++i) {
        if (i > 0)
            out += ' ';
        out += HexDigit(bytes[i] >> 4);
        out += HexDigit(bytes[i]);
    }
    return out;
}
