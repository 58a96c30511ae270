// The decoder's answers to hand-built requests over a pseudo-terminal, and the
// demo decoder a fresh state holds.
#include "SimPeer.h"

#include "velksim.h"
#include "velksimdemo.h"

#include "velkcommon.h"

#include <gtest/gtest.h>

using namespace velksim;

namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = uint8_t(seed + i * 7 + (i >> 8));
    return bytes;
}

class DecoderTest : public ::testing::Test {
protected:
    TDecoderSim sim;
    TSimPeer peer{sim.LinePath()};
};

} // namespace

TEST(DemoStateTest, SlotTableAdmitsEverySlotButTheReservedOne) {
    TDecoderSim sim;
    auto eeprom = sim.ReadEeprom(0, EepromSize);
    EXPECT_EQ(eeprom[0x1102] & 0x1F, 29);
    for (int word = 0; word < 29; ++word)
        EXPECT_TRUE(eeprom[0x108E + 4 * word] & 0x80) << "word " << word;
}

TEST(DemoStateTest, SlotZeroHoldsAValidSettingsRecordAndTheRestIsErased) {
    TDecoderSim sim;
    auto slot = sim.ReadSlot(0);
    EXPECT_EQ(ReadBE16(slot.data()), 0x0040);
    EXPECT_EQ(BytesToString(slot.data() + 64, 8), "SET");
    uint32_t body = ReadBE32(slot.data() + 72);
    ASSERT_EQ(ReadBE32(slot.data() + 76), 1u);
    EXPECT_EQ(BytesToString(slot.data() + 80, 12), "SET");
    uint32_t offset = ReadBE32(slot.data() + 92);
    uint32_t size = ReadBE32(slot.data() + 96);
    EXPECT_EQ(offset, 24u); // 4 + 20 * item count
    EXPECT_EQ(body, offset + size);
    auto settings = DemoSettings();
    ASSERT_EQ(size, settings.size());
    EXPECT_TRUE(std::equal(settings.begin(), settings.end(), slot.begin() + 76 + offset));
    EXPECT_TRUE(std::all_of(slot.begin() + 76 + body, slot.end(), [](uint8_t b) { return b == 0xFF; }));
    for (int32_t i = 1; i < SlotCount; ++i) {
        auto other = sim.ReadSlot(i);
        EXPECT_TRUE(std::all_of(other.begin(), other.end(), [](uint8_t b) { return b == 0xFF; })) << i;
    }
}

TEST(DemoStateTest, MemoryOnlyWithoutDemoIsErased) {
    TSimConfig config;
    config.demoState = false;
    TDecoderSim sim(config);
    EXPECT_EQ(sim.ReadFlash(FlashBase, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(sim.ReadEeprom(0x1102, 1), (std::vector<uint8_t>{0xFF}));
}

TEST_F(DecoderTest, SyncIsAnsweredWithAckFirstAndSyncAfterwards) {
    EXPECT_EQ(peer.Sync(), HL_ACK);
    EXPECT_EQ(peer.Sync(), HL_SYNC);
    sim.ResetSync();
    EXPECT_EQ(peer.Sync(), HL_ACK);
    ASSERT_TRUE(sim.WaitIdle());
    EXPECT_EQ(sim.Counters().syncs, 3);
}

TEST_F(DecoderTest, FlashReadsAnswerWithTheBytesInsideTheRecordAreaOnly) {
    std::vector<uint8_t> data;
    ASSERT_EQ(peer.ReadFlash(FlashBase, 80, &data), HL_DATA);
    EXPECT_EQ(data, sim.ReadFlash(FlashBase, 80));
    ASSERT_EQ(peer.ReadFlash(FlashBase + FlashSize - 1, 1, &data), HL_DATA);
    EXPECT_EQ(data, (std::vector<uint8_t>{0xFF}));
    ASSERT_EQ(peer.ReadFlash(FlashBase + 76, 0, &data), HL_DATA);
    EXPECT_TRUE(data.empty());
    ASSERT_EQ(peer.ReadFlash(FlashBase, FlashSize, &data), HL_DATA);
    EXPECT_EQ(data.size(), FlashSize);

    EXPECT_EQ(peer.ReadFlash(FlashBase + FlashSize - 1, 2, nullptr), HL_NACK);
    EXPECT_EQ(peer.ReadFlash(FlashBase - 1, 1, nullptr), HL_NACK);
    EXPECT_EQ(peer.ReadFlash(FlashBase + 16, 0xFFFFFFF8u, nullptr), HL_NACK); // wraps around
    ASSERT_TRUE(sim.WaitIdle());
    TSimCounters counters = sim.Counters();
    EXPECT_EQ(counters.readFlashRequests, 7);
    EXPECT_EQ(counters.refusedRequests, 3);
    EXPECT_EQ(counters.flashBytesRead, 80 + 1 + 0 + int64_t(FlashSize));
    std::vector<TSimRange> expected = {
        {FlashBase, 80}, {FlashBase + FlashSize - 1, 1}, {FlashBase + 76, 0}, {FlashBase, FlashSize}};
    EXPECT_EQ(counters.flashReads, expected);
}

TEST_F(DecoderTest, EepromReadsCoverTheEightKibibytes) {
    std::vector<uint8_t> data;
    ASSERT_EQ(peer.ReadEeprom(0, 8192, &data), HL_DATA);
    EXPECT_EQ(data, sim.ReadEeprom(0, 8192));
    EXPECT_EQ(peer.ReadEeprom(1, 8192, nullptr), HL_NACK);
    EXPECT_EQ(peer.ReadEeprom(8192, 1, nullptr), HL_NACK);
    ASSERT_TRUE(sim.WaitIdle());
    TSimCounters counters = sim.Counters();
    EXPECT_EQ(counters.eepromBytesRead, 8192);
    EXPECT_EQ(counters.readEepromRequests, 3);
    EXPECT_EQ(counters.eepromReads, (std::vector<TSimRange>{{0, 8192}}));
}

TEST_F(DecoderTest, FlashWritesStartAtASlotAndReplaceOnlyItsFirstBytes) {
    auto bytes = Pattern(101, 3);
    ASSERT_EQ(peer.Store(HL_WRITE_FLASH, SlotAddress(3), bytes), HL_ACK);
    auto slot = sim.ReadSlot(3);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), slot.begin()));
    EXPECT_TRUE(std::all_of(slot.begin() + 101, slot.end(), [](uint8_t b) { return b == 0xFF; }));

    auto whole = Pattern(SlotSize, 9);
    ASSERT_EQ(peer.Store(HL_WRITE_FLASH, SlotAddress(29), whole), HL_ACK);
    EXPECT_EQ(sim.ReadSlot(29), whole);

    EXPECT_EQ(peer.Store(HL_WRITE_FLASH, SlotAddress(4) + 2, bytes), HL_NACK);
    EXPECT_EQ(peer.Store(HL_WRITE_FLASH, SlotAddress(30), bytes), HL_NACK);
    EXPECT_EQ(peer.Store(HL_WRITE_FLASH, SlotAddress(0) - SlotSize, bytes), HL_NACK);
    EXPECT_EQ(peer.Store(HL_WRITE_FLASH, SlotAddress(5), Pattern(SlotSize + 1, 1)), HL_NACK);
    EXPECT_EQ(peer.Store(HL_WRITE_FLASH, SlotAddress(5), {}), HL_NACK);
    EXPECT_EQ(sim.ReadSlot(5), std::vector<uint8_t>(SlotSize, 0xFF));
    ASSERT_TRUE(sim.WaitIdle());
    TSimCounters counters = sim.Counters();
    EXPECT_EQ(counters.writeFlashRequests, 7);
    EXPECT_EQ(counters.refusedRequests, 5);
    EXPECT_EQ(counters.flashWrites, (std::vector<TSimRange>{{SlotAddress(3), 101}, {SlotAddress(29), SlotSize}}));
    EXPECT_EQ(counters.flashBytesWritten, 101 + int64_t(SlotSize));
}

TEST_F(DecoderTest, EepromWritesStayInsideTheEepromAndFirmwareIsKept) {
    ASSERT_EQ(peer.Store(HL_WRITE_EEPROM, 8190, {1, 2}), HL_ACK);
    EXPECT_EQ(sim.ReadEeprom(8190, 2), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(peer.Store(HL_WRITE_EEPROM, 8191, {1, 2}), HL_NACK);
    EXPECT_EQ(sim.ReadEeprom(8191, 1), (std::vector<uint8_t>{2}));

    auto image = Pattern(70000, 5);
    ASSERT_EQ(peer.Store(HL_FIRMWARE, 0, image), HL_ACK);
    EXPECT_EQ(sim.Firmware(), image);
    EXPECT_EQ(peer.Store(HL_FIRMWARE, 0, {}), HL_NACK);
    EXPECT_EQ(sim.Firmware(), image);
    ASSERT_TRUE(sim.WaitIdle());
    EXPECT_EQ(sim.Counters().firmwareUploads, (std::vector<uint32_t>{70000}));
    EXPECT_EQ(sim.Counters().eepromWrites, (std::vector<TSimRange>{{8190, 2}}));
}

TEST_F(DecoderTest, EveryOtherRequestIsRefused) {
    EXPECT_EQ(peer.Request(velk_HLPacket(HL_DATA, 0, "abc", 3)), HL_NACK);
    EXPECT_EQ(peer.Request(velk_HLPacket(HL_ACK, 0, nullptr, 0)), HL_NACK);
    // A read request whose data is not address and count.
    EXPECT_EQ(peer.Request(velk_HLPacket(HL_READ_FLASH, 0, "abcd", 4)), HL_NACK);
    // Not a valid transfer packet: the total length disagrees with the size.
    auto sync = BytesOf(velk_HLPacket(HL_SYNC, 0, nullptr, 0));
    sync[7] = 17;
    ASSERT_TRUE(peer.SendTransmission(sync));
    std::vector<uint8_t> answer = peer.ReceiveTransmission().value_or(std::vector<uint8_t>{});
    ASSERT_GE(answer.size(), 4u);
    EXPECT_EQ(ReadBE32(answer.data()), HL_NACK);
    ASSERT_TRUE(sim.WaitIdle());
    TSimCounters counters = sim.Counters();
    EXPECT_EQ(counters.otherRequests, 3);
    EXPECT_EQ(counters.readFlashRequests, 1);
    EXPECT_EQ(counters.refusedRequests, 4);
    EXPECT_EQ(sim.LastTransmission(), sync);
}
