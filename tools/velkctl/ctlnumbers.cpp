#include "ctlnumbers.h"

#include "ctlerror.h"
#include "wholenumber.h"

#include <cstdio>
#include <optional>

int64_t ParseNumber(std::string_view text, std::string_view what, int64_t min, int64_t max) {
    const std::optional<uint64_t> value = ParseWholeNumber(text);
    if (!value)
        throw ECtlUsage(std::string(what) + ": \"" + std::string(text) +
                        "\" is not a number (decimal, or hexadecimal after 0x)");
    if (*value > uint64_t(INT64_MAX) || int64_t(*value) < min || int64_t(*value) > max)
        throw ECtlUsage(std::string(what) + ": " + std::string(text) + " is outside " + std::to_string(min) + " to " +
                        std::to_string(max));
    return int64_t(*value);
}

std::string HexAddress(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", address);
    return text;
}
