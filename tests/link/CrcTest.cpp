#include "velkcrc.h"
#include "velkcrctable.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace {

const char Digits[] = "123456789";

struct TMember {
    const char *name;
    TCustomCrc &crc;
    uint32_t check; // over the ASCII digits 1 to 9
};

std::vector<TMember> Members() {
    return {{"TLrc16", Lrc16(), 0xCE31},           {"TArcCrc16", ArcCrc16(), 0xBB3D},
            {"TCcittCrc16", CcittCrc16(), 0x29B1}, {"TZmodemCrc16", ZmodemCrc16(), 0x31C3},
            {"TIrdaCrc16", IrdaCrc16(), 0x6F91},   {"TXModemCrc16", XModemCrc16(), 0x0C73},
            {"TZipCrc32", ZipCrc32(), 0xCBF43926}, {"TJamCrc32", JamCrc32(), 0x0376E6E7},
            {"TAdler32", Adler32(), 0x091E01DE}};
}

TEST(CrcTest, CheckValueOfEveryMember) {
    for (const TMember &m : Members())
        EXPECT_EQ(m.crc.Calc(Digits, 9), m.check) << m.name;
}

TEST(CrcTest, UpdateContinuesTheRunningValue) {
    for (const TMember &m : Members()) {
        m.crc.Calc("ab", 2);
        uint32_t continued = m.crc.Update("c", 1);
        EXPECT_EQ(continued, m.crc.Calc("abc", 3)) << m.name;
        // The digits in three pieces give the check value.
        m.crc.Reset();
        m.crc.Update(Digits, 4);
        m.crc.Update(Digits + 4, 0);
        m.crc.Update(Digits + 4, 5);
        EXPECT_EQ(m.crc.GetValue(), m.check) << m.name;
        // SetValue restores a saved running value.
        m.crc.Calc(Digits, 4);
        uint32_t saved = m.crc.GetValue();
        m.crc.Reset();
        m.crc.SetValue(saved);
        EXPECT_EQ(m.crc.Update(Digits + 4, 5), m.check) << m.name;
    }
}

TEST(CrcTest, StartingValues) {
    EXPECT_EQ(Lrc16().Calc(nullptr, 0), 0xFF00u);
    const uint8_t z = 0x5A;
    EXPECT_EQ(Lrc16().Calc(&z, 1), 0xA55Au);
    EXPECT_EQ(ZipCrc32().Reset(), 0u);
    EXPECT_EQ(JamCrc32().Reset(), 0xFFFFFFFFu);
    EXPECT_EQ(CcittCrc16().Reset(), 0xFFFFu);
    EXPECT_EQ(ZmodemCrc16().Reset(), 0u);
    EXPECT_EQ(Adler32().Reset(), 1u);
    // A fresh object starts as Reset leaves it.
    EXPECT_EQ(TZmodemCrc16().GetValue(), 0u);
    EXPECT_EQ(TCcittCrc16().GetValue(), 0xFFFFu);
    EXPECT_EQ(TZipCrc32().GetValue(), 0u);
}

TEST(CrcTest, XModemTableUsesTheUnreflectedPolynomial) {
    EXPECT_EQ(XModemCrc16Table[0], 0);
    EXPECT_EQ(XModemCrc16Table[1], 0x17CE);
    EXPECT_EQ(XModemCrc16Table[128], 0x1021);
}

TEST(CrcTest, AdlerReducesItsSumsEveryBlock) {
    // 5553 bytes of 0xFF overflow 32 bits unless the sums are reduced after 5552.
    std::vector<uint8_t> ff(TAdler32::BlockLength + 1, 0xFF);
    uint32_t expected = adler32(adler32(0, nullptr, 0), ff.data(), ff.size());
    EXPECT_EQ(Adler32().Calc(ff.data(), int32_t(ff.size())), expected);
    std::vector<uint8_t> big(200000, 0xFF);
    EXPECT_EQ(Adler32().Calc(big.data(), int32_t(big.size())), adler32(adler32(0, nullptr, 0), big.data(), big.size()));
}

TEST(CrcTest, AdlerAndZipCrcMatchZlibOnRandomData) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 50; ++round) {
        std::vector<uint8_t> data(random() % 20000);
        for (uint8_t &b : data)
            b = static_cast<uint8_t>(random());
        size_t split = data.empty() ? 0 : random() % data.size();
        uLong zlibAdler = adler32(adler32(0, nullptr, 0), data.data(), data.size());
        uLong zlibCrc = crc32(crc32(0, nullptr, 0), data.data(), data.size());

        Adler32().Calc(data.data(), int32_t(split));
        EXPECT_EQ(Adler32().Update(data.data() + split, int32_t(data.size() - split)), zlibAdler);
        ZipCrc32().Calc(data.data(), int32_t(split));
        EXPECT_EQ(ZipCrc32().Update(data.data() + split, int32_t(data.size() - split)), zlibCrc);
    }
}

} // namespace
