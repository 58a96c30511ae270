// Whole numbers as the tools read them: decimal, or hexadecimal after 0x.
#include "wholenumber.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(WholeNumberTest, DecimalOrHexadecimalAfter0xAndNothingElse) {
    struct TCase {
        std::string text;
        std::optional<uint64_t> value;
    };
    const std::vector<TCase> cases = {
        {"0", 0},
        {"115200", 115200},
        {"007", 7},
        {"0x34020000", 0x34020000},
        {"0XfF", 255},
        {"0x0", 0},
        {"18446744073709551615", UINT64_MAX},
        {"0xFFFFFFFFFFFFFFFF", UINT64_MAX},
        // Not numbers: empty, signs, blanks, trailing text, a bare or doubled
        // prefix, hexadecimal digits without it, other bases' prefixes, too big.
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"+1", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"12k", std::nullopt},
        {"0x", std::nullopt},
        {"0x-1", std::nullopt},
        {"0x0x1", std::nullopt},
        {"ff", std::nullopt},
        {"0b101", std::nullopt},
        {"1e3", std::nullopt},
        {"18446744073709551616", std::nullopt},
        {"0x10000000000000000", std::nullopt},
    };
    for (const TCase &c : cases)
        EXPECT_EQ(ParseWholeNumber(c.text), c.value) << '"' << c.text << '"';
}

} // namespace
