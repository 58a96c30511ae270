#include "ctlnumbers.h"

#include "ctlerror.h"

#include <charconv>
#include <cstdio>

int64_t ParseNumber(std::string_view text, std::string_view what, int64_t min, int64_t max) {
    std::string_view digits = text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    const bool whole = !digits.empty() && digits[0] != '-' && digits[0] != '+' && ec == std::errc() &&
                       end == digits.data() + digits.size();
    if (!whole)
        throw ECtlUsage(std::string(what) + ": \"" + std::string(text) +
                        "\" is not a number (decimal, or hexadecimal after 0x)");
    if (value < min || value > max)
        throw ECtlUsage(std::string(what) + ": " + std::string(text) + " is outside " + std::to_string(min) + " to " +
                        std::to_string(max));
    return value;
}

std::string HexAddress(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", address);
    return text;
}
