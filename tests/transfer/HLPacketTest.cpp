#include "HexStrings.h"
#include "velkcommon.h"
#include "velkhlpacket.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::string Hex(const TBuffer &b) {
    return BytesToHex(b.Memory(), b.Size());
}

// A received buffer holding the bytes (data use: its length is its Size).
TBuffer Buffer(const std::vector<uint8_t> &bytes) {
    TBuffer b;
    b.SetData(bytes.data(), int32_t(bytes.size()));
    return b;
}

std::vector<uint8_t> Header(uint32_t command, uint32_t total, uint32_t length, uint32_t address = 0) {
    std::vector<uint8_t> bytes(16);
    WriteBE32(&bytes[0], command);
    WriteBE32(&bytes[4], total);
    WriteBE32(&bytes[8], length);
    WriteBE32(&bytes[12], address);
    return bytes;
}

std::string BuildError(const std::function<void()> &build) {
    try {
        build();
    } catch (const EHLPacket &e) {
        return e.Message();
    }
    return "<no exception>";
}

TEST(HLPacketTest, BuildsTheWireBytes) {
    EXPECT_EQ(Hex(velk_HLPacket(HL_SYNC, 0, nullptr, 0)), "5A 39 00 41 00 00 00 10 00 00 00 00 00 00 00 00");
    uint8_t request[8];
    WriteBE32(request, 0x34020000);
    WriteBE32(request + 4, 80);
    velk_HLPacket read(HL_READ_FLASH, 0, request, 8);
    EXPECT_EQ(Hex(read), "5A 39 00 21 00 00 00 18 00 00 00 08 00 00 00 00 34 02 00 00 00 00 00 50");
    EXPECT_EQ(read.Count(), read.Size());
    EXPECT_TRUE(read.IsValid());
}

TEST(HLPacketTest, OnlyWritesCarryTheAddress) {
    const uint8_t data[2] = {0xAB, 0xCD};
    EXPECT_EQ(velk_HLPacket(HL_WRITE_FLASH, 0x34020000, data, 2).Memory()[12], 0x34);
    EXPECT_EQ(ReadBE32(velk_HLPacket(HL_WRITE_EEPROM, 0x1234, data, 2).Memory() + 12), 0x1234u);
    for (uint32_t command : {HL_FIRMWARE, HL_READ_FLASH, HL_READ_EEPROM, HL_SYNC})
        EXPECT_EQ(ReadBE32(velk_HLPacket(command, 0x34020000, data, 2).Memory() + 12), 0u) << std::hex << command;
}

TEST(HLPacketTest, BuildLimits) {
    EXPECT_EQ(velk_HLPacket(HL_SYNC, 0, nullptr, 0).Size(), 16);
    EXPECT_EQ(BuildError([] { velk_HLPacket(HL_FIRMWARE, 0, nullptr, 1); }), "Pacchetto dati inconsistente.");
    EXPECT_EQ(BuildError([] { velk_HLPacket(HL_FIRMWARE, 0, nullptr, HL_MAX_DATA + 1); }),
              "Pacchetto dati inconsistente.");
    std::vector<uint8_t> image(HL_MAX_DATA + 1, 0x5A);
    EXPECT_EQ(BuildError([&] { velk_HLPacket(HL_FIRMWARE, 0, image.data(), HL_MAX_DATA + 1); }),
              "Pacchetto dati troppo grande.");
    EXPECT_EQ(BuildError([&] { velk_HLPacket(HL_FIRMWARE, 0, image.data(), 0xFFFFFFFFu); }),
              "Pacchetto dati troppo grande.");
    velk_HLPacket largest(HL_FIRMWARE, 0, image.data(), HL_MAX_DATA);
    EXPECT_EQ(largest.Size(), 0x800000);
    EXPECT_TRUE(largest.IsValid());
}

TEST(HLPacketTest, ParsesAndValidates) {
    for (uint32_t command : {HL_SYNC, HL_ACK, HL_NACK}) {
        velk_HLPacket p(Buffer(Header(command, 16, 0)));
        EXPECT_TRUE(p.IsValid());
        EXPECT_EQ(p.Command(), int64_t(command));
        EXPECT_FALSE(velk_HLPacket(Buffer(Header(command, 17, 0))).IsValid());
        EXPECT_FALSE(velk_HLPacket(Buffer(Header(command, 16, 1))).IsValid());
    }
    velk_HLPacket unknown(Buffer(Header(0x5A390032, 16, 0)));
    EXPECT_EQ(unknown.Command(), -1);
    EXPECT_FALSE(unknown.IsValid());

    std::vector<uint8_t> data = Header(HL_DATA, 20, 4, 0xDEADBEEF);
    data.insert(data.end(), {1, 2, 3, 4});
    velk_HLPacket p(Buffer(data));
    EXPECT_TRUE(p.IsValid());
    EXPECT_EQ(p.TotalLength(), 20u);
    EXPECT_EQ(p.DataLength(), 4u);
    EXPECT_EQ(p.Data()[3], 4);
}

TEST(HLPacketTest, ShortPacketsReadAsZero) {
    std::vector<uint8_t> sync = Header(HL_SYNC, 16, 0);
    velk_HLPacket three(Buffer({sync.begin(), sync.begin() + 3}));
    EXPECT_EQ(three.Command(), -1);
    velk_HLPacket seven(Buffer({sync.begin(), sync.begin() + 7}));
    EXPECT_EQ(seven.Command(), int64_t(HL_SYNC));
    EXPECT_EQ(seven.TotalLength(), 0u);
    EXPECT_EQ(seven.Dump(40), "");
    velk_HLPacket eleven(Buffer({sync.begin(), sync.begin() + 11}));
    EXPECT_EQ(eleven.TotalLength(), 16u);
    EXPECT_EQ(eleven.DataLength(), 0u);
    EXPECT_FALSE(eleven.IsValid());
    EXPECT_EQ(eleven.Data(), nullptr);
    velk_HLPacket empty{TBuffer()};
    EXPECT_EQ(empty.Command(), -1);
    EXPECT_FALSE(empty.IsValid());
    uint8_t out[4];
    EXPECT_EQ(empty.CopyData(out, 4), 0);
}

TEST(HLPacketTest, CopyDataIsBoundedByMaximumAndPacket) {
    std::vector<uint8_t> bytes(100);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i);
    velk_HLPacket p(HL_WRITE_FLASH, 0, bytes.data(), 100);
    std::vector<uint8_t> out(100);
    EXPECT_EQ(p.CopyData(out.data(), 10), 10);
    EXPECT_EQ(out[9], 9);
    EXPECT_EQ(p.CopyData(out.data(), 1000), 100);
    EXPECT_EQ(p.CopyData(out.data(), -5), 0);

    // A received packet that declares more data than it holds copies what it holds.
    std::vector<uint8_t> lying = Header(HL_DATA, 0xFFFFFFFF, 0x7FFFFFFF);
    lying.insert(lying.end(), {7, 8});
    velk_HLPacket received(Buffer(lying));
    EXPECT_FALSE(received.IsValid());
    EXPECT_EQ(received.CopyData(out.data(), 100), 2);
    EXPECT_EQ(out[1], 8);
}

TEST(HLPacketTest, DumpShowsAtMostTheMaximum) {
    std::vector<uint8_t> eight(8, 0xEE);
    velk_HLPacket small(HL_READ_FLASH, 0, eight.data(), 8);
    EXPECT_EQ(small.Dump(40), Hex(small));
    std::vector<uint8_t> data(84, 0xEE);
    velk_HLPacket large(HL_WRITE_FLASH, 0, data.data(), 84);
    EXPECT_EQ(large.Size(), 100);
    EXPECT_EQ(large.Dump(40), BytesToHex(large.Memory(), 40) + " ...");
    // A declared total length beyond the bytes held dumps only what is there.
    std::vector<uint8_t> lying = Header(HL_DATA, 1000, 984);
    EXPECT_EQ(velk_HLPacket(Buffer(lying)).Dump(40), BytesToHex(lying.data(), 16) + " ...");
}

} // namespace
