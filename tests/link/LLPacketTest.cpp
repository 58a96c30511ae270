#include "HexStrings.h"
#include "velkllpacket.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::string Hex(const TBuffer &b) {
    return BytesToHex(b.Memory(), b.Count());
}

std::vector<uint8_t> FromHex(const std::string &hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 3)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::vector<uint8_t> Bytes(const TBuffer &b) {
    return {b.Memory(), b.Memory() + b.Count()};
}

// Assembles a packet from the bytes, all offered at once.
velk_LLPacket Received(const std::vector<uint8_t> &bytes) {
    velk_LLPacket p(2048);
    EXPECT_EQ(p.Feed(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    EXPECT_EQ(p.Missing(), 0);
    return p;
}

std::string BuildError(const std::function<void()> &build) {
    try {
        build();
    } catch (const ELLPacket &e) {
        return e.Message();
    }
    return "<no exception>";
}

const char AckHex[] = "A5 33 00 0C 00 00 00 00 00 00 9A 65";
const char NackHex[] = "A5 CC 00 0C 00 00 00 00 00 00 65 9A";
const char Data123Hex[] = "A5 99 00 13 00 03 00 00 00 00 2C D3 01 02 03 00 0D 00 07";
const char Data41Hex[] = "A5 99 00 11 00 01 00 02 00 01 2F D0 41 00 42 00 42";

TEST(LLPacketTest, BuildsTheWireBytes) {
    const uint8_t payload123[] = {1, 2, 3};
    const uint8_t payload41[] = {0x41};
    EXPECT_EQ(Hex(velk_LLPacket(LL_ACK, 0, 0, 0, nullptr)), AckHex);
    EXPECT_EQ(Hex(velk_LLPacket(LL_NACK, 0, 0, 0, nullptr)), NackHex);
    EXPECT_EQ(Hex(velk_LLPacket(LL_DATA, 0, 0, 3, payload123)), Data123Hex);
    EXPECT_EQ(Hex(velk_LLPacket(LL_DATA, 2, 1, 1, payload41)), Data41Hex);
    velk_LLPacket ack(LL_ACK, 0, 0, 0, nullptr);
    EXPECT_EQ(ack.Size(), 12);
    EXPECT_EQ(ack.Count(), 12);
}

TEST(LLPacketTest, HeadersOfAFiveThousandByteSend) {
    std::vector<uint8_t> data(5000, 0x77);
    auto header = [&](uint16_t index, uint16_t length) {
        velk_LLPacket p(LL_DATA, 2, index, length, data.data() + index * 2032);
        EXPECT_EQ(p.Size(), length + 16);
        return BytesToHex(p.Memory(), 12);
    };
    EXPECT_EQ(header(0, 2032), "A5 99 08 00 07 F0 00 02 00 00 C1 3E");
    EXPECT_EQ(header(1, 2032), "A5 99 08 00 07 F0 00 02 00 01 C0 3F");
    EXPECT_EQ(header(2, 936), "A5 99 03 B8 03 A8 00 02 00 02 2C D3");
}

TEST(LLPacketTest, ParsesTheWorkedExamples) {
    velk_LLPacket ack = Received(FromHex(AckHex));
    EXPECT_TRUE(ack.IsValid());
    EXPECT_EQ(ack.PacketType(), LL_ACK);
    EXPECT_EQ(ack.TotalLength(), 12);
    EXPECT_EQ(ack.PayloadLength(), 0);
    EXPECT_EQ(ack.PacketCount(), 1);
    EXPECT_EQ(ack.StoredHeaderCheck(), 0x9A65);
    EXPECT_EQ(ack.HeaderCheck(), 0x9A65);
    EXPECT_EQ(ack.StoredPayloadCheck(), 0u);
    EXPECT_EQ(ack.ReasonText(), "");

    velk_LLPacket nack = Received(FromHex(NackHex));
    EXPECT_TRUE(nack.IsValid());
    EXPECT_EQ(nack.PacketType(), LL_NACK);

    velk_LLPacket data = Received(FromHex(Data123Hex));
    EXPECT_TRUE(data.IsValid());
    EXPECT_EQ(data.PacketType(), LL_DATA);
    EXPECT_EQ(data.TotalLength(), 0x13);
    EXPECT_EQ(data.PayloadLength(), 3);
    EXPECT_EQ(data.StoredPayloadCheck(), 0x000D0007u);
    EXPECT_EQ(data.PayloadCheck(), 0x000D0007u);
    uint8_t out[8] = {};
    EXPECT_EQ(data.CopyPayload(out, 8), 3);
    EXPECT_EQ(BytesToHex(out, 3), "01 02 03");
    EXPECT_EQ(data.CopyPayload(out, 2), 2);
    EXPECT_EQ(data.CopyPayload(out, -1), 0);

    velk_LLPacket second = Received(FromHex(Data41Hex));
    EXPECT_TRUE(second.IsValid());
    EXPECT_EQ(second.PacketCount(), 3);
    EXPECT_EQ(second.PayloadLength(), 1);
}

TEST(LLPacketTest, PacketCountOfTheLargestLastIndex) {
    velk_LLPacket p = Received(Bytes(velk_LLPacket(LL_DATA, 0xFFFF, 7, 1, "x")));
    EXPECT_TRUE(p.IsValid());
    EXPECT_EQ(p.PacketCount(), 65536);
}

TEST(LLPacketTest, InconsistentBuildArgumentsAreRefused) {
    const char *inconsistent = "Pacchetto dati inconsistente.";
    EXPECT_EQ(BuildError([] { velk_LLPacket(LL_DATA, 0, 0, 5, nullptr); }), inconsistent);
    EXPECT_EQ(BuildError([] { velk_LLPacket(LL_DATA, 2, 3, 1, "x"); }), inconsistent);
    // A payload whose packet would not fit the 16-bit total length.
    std::vector<uint8_t> huge(0xFFFF);
    EXPECT_EQ(BuildError([&] { velk_LLPacket(LL_DATA, 0, 0, 0xFFF0, huge.data()); }), inconsistent);
    EXPECT_EQ(velk_LLPacket(LL_DATA, 0, 0, 0xFFEF, huge.data()).Size(), 0xFFFF);
    EXPECT_EQ(velk_LLPacket(LL_DATA, 3, 3, 0, nullptr).Size(), 12);
}

TEST(LLPacketTest, LogTextShowsAtMost25Bytes) {
    EXPECT_EQ(velk_LLPacket(LL_ACK, 0, 0, 0, nullptr).ToLogText(), AckHex);
    std::vector<uint8_t> payload(2032, 0x11);
    velk_LLPacket full(LL_DATA, 0, 0, 2032, payload.data());
    EXPECT_EQ(full.Size(), 2048);
    std::string text = full.ToLogText();
    EXPECT_EQ(text, BytesToHex(full.Memory(), 25) + " ...");
    std::vector<uint8_t> nine(9, 0x22); // exactly 25 bytes: no dots
    EXPECT_EQ(velk_LLPacket(LL_DATA, 0, 0, 9, nine.data()).ToLogText().size(), 25u * 3 - 1);
}

TEST(LLPacketTest, ReasonTextOfANackWithPayload) {
    velk_LLPacket nack = Received(Bytes(velk_LLPacket(LL_NACK, 0, 0, 3, "CRC")));
    EXPECT_TRUE(nack.IsValid());
    EXPECT_EQ(nack.ReasonText(), "CRC");
    EXPECT_EQ(Received(Bytes(velk_LLPacket(LL_NACK, 0, 0, 1, "!"))).ReasonText(), "!");
}

} // namespace
