// Numbers on velkctl's command line: decimal or 0x hexadecimal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The number in text, which must lie in [min, max]; ECtlUsage naming what
// otherwise ("ADDR: ...").
int64_t ParseNumber(std::string_view text, std::string_view what, int64_t min, int64_t max);

// "0x34020000": eight upper-case hexadecimal digits.
std::string HexAddress(uint32_t address);
