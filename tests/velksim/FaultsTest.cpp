// Each fault the simulator injects, as the PC sees it on the line, and their
// reproducibility from a seed.
#include "SimPeer.h"

#include "velksim.h"

#include "velkcommon.h"

#include <poll.h>

#include <gtest/gtest.h>

using namespace velksim;

namespace {

const std::vector<uint8_t> AckBytes = {0xA5, 0x33, 0x00, 0x0C, 0, 0, 0, 0, 0, 0, 0x9A, 0x65};

velk_LLPacket SyncPacket() {
    auto sync = BytesOf(velk_HLPacket(HL_SYNC, 0, nullptr, 0));
    return velk_LLPacket(LL_DATA, 0, 0, uint16_t(sync.size()), sync.data());
}

// The first packet of a two-packet transmission: the decoder only acknowledges it.
velk_LLPacket FirstOfTwo() {
    std::vector<uint8_t> payload(2032, 0x11);
    return velk_LLPacket(LL_DATA, 1, 0, 2032, payload.data());
}

class FaultsTest : public ::testing::Test {
protected:
    void Set(const std::function<void(TSimFaults &)> &change) {
        TSimFaults faults;
        change(faults);
        sim.SetFaults(faults);
    }

    TDecoderSim sim;
    TSimPeer peer{sim.LinePath()};
};

} // namespace

TEST_F(FaultsTest, DamagedPacketsInEitherDirectionFailTheirChecks) {
    Set([](TSimFaults &f) { f.corruptReceived = 1; });
    peer.Write(SyncPacket());
    auto answer = peer.ReadPacket();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->PacketType(), LL_NACK);
    EXPECT_TRUE(answer->IsValid());

    Set([](TSimFaults &f) { f.corruptAnswers = 1; });
    peer.Write(FirstOfTwo());
    answer = peer.ReadPacket();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->PacketType(), LL_ACK); // type and length are left intact
    EXPECT_FALSE(answer->IsValid());

    Set([](TSimFaults &f) { f.corruptSent = 1; });
    peer.Write(SyncPacket());
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), AckBytes);
    answer = peer.ReadPacket();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->PacketType(), LL_DATA);
    EXPECT_FALSE(answer->IsValid());
    ASSERT_TRUE(sim.WaitIdle());
    EXPECT_EQ(sim.Counters().invalidPacketsReceived, 1);
}

TEST_F(FaultsTest, DroppedAnswersNeverArrive) {
    Set([](TSimFaults &f) { f.dropAnswers = 1; });
    peer.Write(FirstOfTwo());
    EXPECT_TRUE(peer.Silent(300ms));
    ASSERT_TRUE(sim.WaitIdle());
    EXPECT_EQ(sim.Counters().acksSent, 0);
}

TEST_F(FaultsTest, RefusedPacketsCarryTheReasonText) {
    Set([](TSimFaults &f) {
        f.nackNext = 2;
        f.nackReason = "BAD";
    });
    for (int i = 0; i < 2; ++i) {
        peer.Write(SyncPacket());
        auto answer = peer.ReadPacket();
        ASSERT_TRUE(answer && answer->IsValid());
        EXPECT_EQ(answer->PacketType(), LL_NACK);
        EXPECT_EQ(answer->ReasonText(), "BAD");
    }
    peer.Write(SyncPacket());
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), AckBytes);
}

TEST_F(FaultsTest, NoiseComesBeforeAPacketAndNeverLooksLikeOne) {
    Set([](TSimFaults &f) {
        f.noiseRate = 1;
        f.noiseMax = 40;
    });
    for (int i = 0; i < 5; ++i) {
        peer.Write(FirstOfTwo());
        std::vector<uint8_t> bytes;
        while (bytes.size() < 12 || !std::equal(AckBytes.begin(), AckBytes.end(), bytes.end() - 12)) {
            auto more = peer.ReadBytes(1, 1000ms);
            ASSERT_FALSE(more.empty());
            bytes.push_back(more[0]);
        }
        size_t noise = bytes.size() - 12;
        EXPECT_GE(noise, 1u);
        EXPECT_LE(noise, 40u);
        EXPECT_EQ(std::count(bytes.begin(), bytes.begin() + long(noise), 0xA5), 0);
    }
}

TEST_F(FaultsTest, LateAnswersWaitTheirTime) {
    Set([](TSimFaults &f) {
        f.lateRate = 1;
        f.lateMs = 300;
    });
    auto start = std::chrono::steady_clock::now();
    peer.Write(FirstOfTwo());
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), AckBytes);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 290ms);
}

TEST_F(FaultsTest, PartialPacketsStopShort) {
    Set([](TSimFaults &f) {
        f.partialAnswers = 1;
        f.partialBytes = 6;
    });
    peer.Write(FirstOfTwo());
    EXPECT_EQ(peer.ReadBytes(100, 300ms), std::vector<uint8_t>(AckBytes.begin(), AckBytes.begin() + 6));

    Set([](TSimFaults &f) { f.partialRate = 1; });
    peer.Write(SyncPacket());
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), AckBytes);
    auto cut = peer.ReadBytes(100, 300ms);
    EXPECT_GE(cut.size(), 1u);
    EXPECT_LT(cut.size(), 32u); // the whole answer is 16 + 16 bytes
}

TEST_F(FaultsTest, StopAfterServesThatManyTransmissionsThenNothing) {
    Set([](TSimFaults &f) { f.stopAfter = 1; });
    EXPECT_EQ(peer.Sync(), HL_ACK);
    peer.Write(SyncPacket());
    EXPECT_TRUE(peer.Silent(300ms));
    sim.ClearFaults();
    EXPECT_EQ(peer.Sync(), HL_SYNC);
}

TEST_F(FaultsTest, SwallowedRequestsAreAcknowledgedButNeverAnswered) {
    Set([](TSimFaults &f) {
        f.swallowRate = 1;
        f.swallowKinds = rqReads;
    });
    EXPECT_EQ(peer.Sync(), HL_ACK);
    ASSERT_TRUE(peer.SendTransmission(BytesOf(ReadRequest(HL_READ_FLASH, FlashBase, 80))));
    EXPECT_TRUE(peer.Silent(300ms));
    ASSERT_TRUE(sim.WaitIdle());
    EXPECT_EQ(sim.Counters().swallowedRequests, 1);
    EXPECT_EQ(sim.Counters().readFlashRequests, 1);
}

TEST_F(FaultsTest, RefusedReadsAndWritesGetATransferNack) {
    Set([](TSimFaults &f) {
        f.refuseReads = 1;
        f.refuseWrites = 1;
    });
    EXPECT_EQ(peer.ReadFlash(FlashBase, 80, nullptr), HL_NACK);
    EXPECT_EQ(peer.ReadEeprom(0, 80, nullptr), HL_NACK);
    EXPECT_EQ(peer.Store(HL_WRITE_FLASH, SlotAddress(0), {1, 2}), HL_NACK);
    EXPECT_EQ(peer.Store(HL_FIRMWARE, 0, {1, 2}), HL_NACK);
    EXPECT_EQ(sim.ReadFlash(SlotAddress(0), 2), (std::vector<uint8_t>{0x00, 0x40}));
    EXPECT_TRUE(sim.Firmware().empty());
    EXPECT_EQ(peer.Sync(), HL_ACK);
    ASSERT_TRUE(sim.WaitIdle());
    EXPECT_EQ(sim.Counters().refusedRequests, 4);
}

TEST_F(FaultsTest, ShortReadsAnswerOneByteLessOfTheRightBytes) {
    Set([](TSimFaults &f) { f.shortReads = 1; });
    std::vector<uint8_t> data;
    EXPECT_EQ(peer.ReadFlash(FlashBase, 80, &data), HL_DATA);
    EXPECT_EQ(data, sim.ReadFlash(FlashBase, 79));
    EXPECT_EQ(peer.ReadEeprom(0, 1, &data), HL_DATA);
    EXPECT_TRUE(data.empty());
    ASSERT_TRUE(sim.WaitIdle());
}

TEST_F(FaultsTest, HangingUpEndsTheLineForThePc) {
    Set([](TSimFaults &f) { f.hangUpAfterTransmissions = 1; });
    EXPECT_EQ(peer.Sync(), HL_ACK);
    ASSERT_TRUE(sim.WaitStopped(5000ms));
    EXPECT_FALSE(sim.IsServing());
    EXPECT_NE(sim.EndReason().find("hung up"), std::string::npos);
    pollfd line{peer.Descriptor(), POLLIN, 0};
    ASSERT_EQ(::poll(&line, 1, 1000), 1);
    EXPECT_TRUE(line.revents & POLLHUP);
    EXPECT_TRUE(sim.WaitIdle(100ms));
}

TEST(FaultsHangUpTest, HangUpOnRequest) {
    TDecoderSim sim;
    TSimPeer peer(sim.LinePath());
    sim.HangUp();
    EXPECT_FALSE(sim.IsServing());
    pollfd line{peer.Descriptor(), POLLIN, 0};
    ASSERT_EQ(::poll(&line, 1, 1000), 1);
    EXPECT_TRUE(line.revents & POLLHUP);
    EXPECT_EQ(sim.ReadFlash(FlashBase, 2), (std::vector<uint8_t>{0x00, 0x40})); // memory stays readable
}

TEST(FaultsSeedTest, TheSameSeedReplaysTheSameFaults) {
    auto run = [](uint64_t seed) {
        TSimConfig config;
        config.faults.seed = seed;
        config.faults.corruptReceived = 0.5;
        TDecoderSim sim(config);
        TSimPeer peer(sim.LinePath());
        std::string answers;
        for (int i = 0; i < 40; ++i) {
            peer.Write(FirstOfTwo());
            auto answer = peer.ReadPacket();
            answers += answer && answer->PacketType() == LL_ACK ? 'A' : 'N';
        }
        return answers;
    };
    std::string first = run(7);
    EXPECT_EQ(run(7), first);
    EXPECT_NE(run(8), first);
    EXPECT_NE(first.find('A'), std::string::npos);
    EXPECT_NE(first.find('N'), std::string::npos);
}

TEST_F(FaultsTest, AHostileDecoderNeverGivesASoundAnswer) {
    // Every answer replaced: none of them is one a sound decoder gives, though
    // each still travels as a proper link transmission.
    Set([](TSimFaults &f) {
        f.seed = 5;
        f.hostileAnswers = 1;
    });
    int received = 0;
    for (int i = 0; i < 30; ++i) {
        const bool read = i % 2 == 1;
        ASSERT_TRUE(peer.SendTransmission(read ? BytesOf(ReadRequest(HL_READ_FLASH, FlashBase, 80))
                                               : BytesOf(velk_HLPacket(HL_SYNC, 0, nullptr, 0))));
        std::optional<std::vector<uint8_t>> answer = peer.ReceiveTransmission();
        ASSERT_TRUE(answer);
        ++received;
        TBuffer buffer;
        buffer.SetData(answer->data(), int32_t(answer->size()));
        velk_HLPacket packet(buffer);
        const int64_t command = packet.Command();
        if (read)
            EXPECT_FALSE(packet.IsValid() && command == HL_DATA && packet.DataLength() == 80) << i;
        else
            EXPECT_FALSE(packet.IsValid() && (command == HL_ACK || command == HL_SYNC)) << i;
    }
    EXPECT_EQ(received, 30);
}

TEST_F(FaultsTest, HostilePacketsAreNeverAValidAnswer) {
    Set([](TSimFaults &f) {
        f.seed = 9;
        f.hostilePackets = 1;
    });
    for (int i = 0; i < 20; ++i) {
        peer.Write(FirstOfTwo());
        // The replacement is written at once: what follows the first byte is there.
        std::vector<uint8_t> bytes = peer.ReadBytes(1, 2000ms);
        ASSERT_FALSE(bytes.empty()) << i;
        const std::vector<uint8_t> rest = peer.ReadBytes(4096, 100ms);
        bytes.insert(bytes.end(), rest.begin(), rest.end());
        // Whatever came, no valid ACK or NACK is in it.
        velk_LLPacket packet(2048);
        for (size_t at = 0; at < bytes.size();) {
            at += size_t(packet.Feed(bytes.data() + at,
                                     std::min<int32_t>(int32_t(bytes.size() - at), std::max(packet.Missing(), 1))));
            if (packet.Count() >= 4 && packet.Missing() == 0) {
                EXPECT_FALSE(packet.IsValid() && (packet.PacketType() == LL_ACK || packet.PacketType() == LL_NACK))
                    << i;
                packet.Clear();
            }
        }
    }
}
