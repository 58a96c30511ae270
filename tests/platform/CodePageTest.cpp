#include "velkcodepage.h"

#include <gtest/gtest.h>

TEST(CodePageTest, RoundTripsTheLibraryTexts) {
    const std::string cp = "Decoder gi\xE0 sincronizzato. I\xB2"
                           "C \x80";
    const std::string utf8 = Cp1252ToUtf8(cp);
    EXPECT_EQ(utf8, "Decoder gi\xC3\xA0 sincronizzato. I\xC2\xB2"
                    "C \xE2\x82\xAC");
    EXPECT_EQ(Utf8ToCp1252(utf8), cp);
    EXPECT_EQ(Utf8ToCp1252("\xE4\xB8\xAD"), "?"); // no Windows-1252 byte
    // Every byte survives the round trip, the five unassigned ones included.
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), one) << b;
    }
}
