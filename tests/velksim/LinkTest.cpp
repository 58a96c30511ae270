// The simulator's link layer: answers to valid, invalid and incomplete
// packets, its own transmissions with resends and give-ups, and a line that
// the PC opens and closes at will.
#include "SimPeer.h"

#include "velksim.h"

#include "velkcommon.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

using namespace velksim;

namespace {

const std::vector<uint8_t> AckBytes = {0xA5, 0x33, 0x00, 0x0C, 0, 0, 0, 0, 0, 0, 0x9A, 0x65};
const std::vector<uint8_t> NackBytes = {0xA5, 0xCC, 0x00, 0x0C, 0, 0, 0, 0, 0, 0, 0x65, 0x9A};

std::vector<uint8_t> SyncBytes() {
    return BytesOf(velk_HLPacket(HL_SYNC, 0, nullptr, 0));
}

velk_LLPacket SyncPacket() {
    auto sync = SyncBytes();
    return velk_LLPacket(LL_DATA, 0, 0, uint16_t(sync.size()), sync.data());
}

// The packet with another index in its header (and the header check to match).
std::vector<uint8_t> WithPacketIndex(const velk_LLPacket &packet, uint16_t index) {
    auto bytes = BytesOf(packet);
    WriteBE16(bytes.data() + 8, index);
    uint8_t x = 0;
    for (int i = 0; i < 10; ++i)
        x ^= bytes[i];
    bytes[10] = x;
    bytes[11] = uint8_t(~x);
    return bytes;
}

TSimConfig ShortTimes() {
    TSimConfig config;
    config.timing.answerTimeout = std::chrono::milliseconds(300);
    config.timing.completionTimeout = std::chrono::milliseconds(200);
    return config;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

TEST(LinkTest, InvalidDataIsNackedAndTheResendAcked) {
    TDecoderSim sim;
    TSimPeer peer(sim.LinePath());
    velk_LLPacket damaged = SyncPacket();
    damaged.Memory()[14] ^= 0x10;
    peer.Write(damaged);
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), NackBytes);
    peer.Write(SyncPacket());
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), AckBytes);
    auto answer = peer.ReceiveTransmission();
    ASSERT_TRUE(answer);
    EXPECT_EQ(ReadBE32(answer->data()), HL_ACK);
    ASSERT_TRUE(sim.WaitIdle());
    TSimCounters counters = sim.Counters();
    EXPECT_EQ(counters.invalidPacketsReceived, 1);
    EXPECT_EQ(counters.nacksSent, 1);
    EXPECT_EQ(counters.acksSent, 1);
    EXPECT_EQ(counters.acksReceived, 1);
    EXPECT_EQ(counters.transmissionsReceived, 1);
    EXPECT_EQ(counters.transmissionsSent, 1);
}

TEST(LinkTest, NoiseBeforeAPacketIsSkippedAndUnusualHeadersAccepted) {
    TDecoderSim sim;
    TSimPeer peer(sim.LinePath());
    peer.Write({0x00, 0xA5, 0xA5, 0x12, 0xFF});
    // The packet index says 5 of a one-packet transmission: still accepted.
    peer.Write(WithPacketIndex(SyncPacket(), 5));
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), AckBytes);
    // A stray ACK from the PC is ignored.
    peer.Write(AckBytes);
    auto answer = peer.ReceiveTransmission();
    ASSERT_TRUE(answer);
    EXPECT_EQ(ReadBE32(answer->data()), HL_ACK);
}

TEST(LinkTest, AShortOrDeclaredTooShortPacketIsNackedAfterItsCompletionTime) {
    TDecoderSim sim(ShortTimes());
    TSimPeer peer(sim.LinePath());
    auto start = std::chrono::steady_clock::now();
    auto sync = BytesOf(SyncPacket());
    peer.Write(std::vector<uint8_t>(sync.begin(), sync.begin() + 20));
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), NackBytes);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);
    // Fewer than 4 bytes are no packet at all: nothing to answer.
    peer.Write({0xA5, 0x99, 0x00});
    EXPECT_TRUE(peer.Silent(500ms));
    // A total length below 12 is complete and invalid at once.
    peer.Write({0xA5, 0x99, 0x00, 0x05});
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), NackBytes);
    EXPECT_EQ(peer.Sync(), HL_ACK);
}

TEST(LinkTest, ALongRequestArrivesInPacketsOfAtMost2032Bytes) {
    TDecoderSim sim;
    TSimPeer peer(sim.LinePath());
    std::vector<uint8_t> slot(SlotSize, 0x5A);
    ASSERT_EQ(peer.Store(HL_WRITE_FLASH, SlotAddress(7), slot), HL_ACK);
    std::vector<uint8_t> data;
    ASSERT_EQ(peer.ReadFlash(SlotAddress(7), 5000, &data), HL_DATA);
    ASSERT_TRUE(sim.WaitIdle());
    TSimCounters counters = sim.Counters();
    EXPECT_EQ(counters.dataPacketsReceived, 33 + 1); // 65552 bytes, then the read request
    EXPECT_EQ(counters.dataPacketsSent, 1 + 3);      // the write's ACK, then 5016 bytes of DATA
}

TEST(LinkTest, APacketNackedByThePcIsSentAgainWithTheSameIndex) {
    TDecoderSim sim;
    TSimPeer peer(sim.LinePath());
    ASSERT_TRUE(peer.SendTransmission(BytesOf(ReadRequest(HL_READ_FLASH, FlashBase, 5000))));
    auto first = peer.ReadPacket();
    ASSERT_TRUE(first && first->IsValid());
    peer.Write(NackBytes);
    auto again = peer.ReadPacket();
    ASSERT_TRUE(again);
    EXPECT_EQ(BytesOf(*again), BytesOf(*first));
    peer.Write(AckBytes);
    auto second = peer.ReadPacket();
    ASSERT_TRUE(second);
    EXPECT_EQ(ReadBE16(second->Memory() + 8), 1); // packet index
    EXPECT_EQ(second->PacketCount(), 3);
}

TEST(LinkTest, TheDecoderGivesUpWithoutAnAnswerOrAfterTenNacks) {
    TDecoderSim sim(ShortTimes());
    TSimPeer peer(sim.LinePath());
    peer.Write(SyncPacket());
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), AckBytes);
    ASSERT_TRUE(peer.ReadPacket()); // the answer, never acknowledged
    EXPECT_TRUE(Eventually([&] { return sim.Counters().transmissionsAbandoned == 1; }));

    peer.Write(SyncPacket());
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), AckBytes);
    int copies = 0;
    while (auto packet = peer.ReadPacket(1000ms)) {
        ++copies;
        peer.Write(NackBytes);
    }
    EXPECT_EQ(copies, 11); // the first try and ten resends
    EXPECT_EQ(sim.Counters().transmissionsAbandoned, 2);
    EXPECT_EQ(sim.Counters().resends, 10);
}

TEST(LinkTest, ADataPacketInsteadOfAnAnswerStartsOver) {
    TDecoderSim sim;
    TSimPeer peer(sim.LinePath());
    peer.Write(SyncPacket());
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), AckBytes);
    ASSERT_TRUE(peer.ReadPacket());
    // The PC moves on: a new SYNC instead of the ACK.
    EXPECT_EQ(peer.Sync(), HL_SYNC);
    // So does a PC that abandons a transmission half-way: packet 0 restarts.
    std::vector<uint8_t> write =
        BytesOf(velk_HLPacket(HL_WRITE_FLASH, SlotAddress(2), std::vector<uint8_t>(3000, 1).data(), 3000));
    peer.Write(velk_LLPacket(LL_DATA, 1, 0, 2032, write.data()));
    EXPECT_EQ(peer.ReadBytes(12, 2000ms), AckBytes);
    EXPECT_EQ(peer.Sync(), HL_SYNC);
    ASSERT_TRUE(sim.WaitIdle());
    EXPECT_EQ(sim.Counters().writeFlashRequests, 0);
    EXPECT_EQ(sim.Counters().transmissionsAbandoned, 1);
}

TEST(LinkTest, LinkOnlyModeKeepsTransmissionsAndSendsQueuedOnes) {
    TDecoderSim sim;
    sim.SetTransferLayer(false);
    TSimPeer peer(sim.LinePath());
    std::vector<uint8_t> bytes(5000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 13);
    ASSERT_TRUE(peer.SendTransmission(bytes));
    EXPECT_TRUE(peer.Silent(300ms));
    EXPECT_EQ(sim.LastTransmission(), bytes);

    std::vector<uint8_t> out(bytes.begin(), bytes.begin() + 4065);
    sim.Send(out);
    EXPECT_EQ(peer.ReceiveTransmission(), out);
    ASSERT_TRUE(sim.WaitIdle());
    EXPECT_EQ(sim.Counters().transmissionsSent, 1);
}

TEST(LinkTest, ServesAcrossOpensAndClosesWithoutUsingCpu) {
    TDecoderSim sim;
    for (int i = 0; i < 5; ++i) {
        TSimPeer peer(sim.LinePath());
        EXPECT_EQ(peer.Sync(), i == 0 ? HL_ACK : HL_SYNC) << i;
    }
    ASSERT_TRUE(sim.WaitIdle());
    double before = CpuSeconds();
    ::usleep(500000);
    EXPECT_LT(CpuSeconds() - before, 0.05);
    EXPECT_TRUE(Eventually([&] { return sim.Counters().lineCloses == 5; }));
    EXPECT_EQ(sim.Counters().lineOpens, 5);
    TSimPeer peer(sim.LinePath());
    EXPECT_EQ(peer.Sync(), HL_SYNC);
}

TEST(LinkTest, TheTraceNamesPacketsAndRequests) {
    std::vector<std::string> printed;
    std::mutex mutex;
    TSimConfig config;
    config.onTrace = [&](const TSimTraceEntry &entry) {
        std::lock_guard lock(mutex);
        printed.push_back(TraceLine(entry));
    };
    TDecoderSim sim(config);
    TSimPeer peer(sim.LinePath());
    ASSERT_EQ(peer.ReadFlash(FlashBase, 80, nullptr), HL_DATA);
    ASSERT_TRUE(sim.WaitIdle());
    auto trace = sim.Trace();
    auto has = [&](TSimTraceKind kind, const std::string &text) {
        return std::any_of(trace.begin(), trace.end(), [&](const TSimTraceEntry &e) {
            return e.kind == kind && e.text.find(text) != std::string::npos;
        });
    };
    EXPECT_TRUE(has(TSimTraceKind::TransferIn, "READ FLASH 0x34020000, 80 bytes"));
    EXPECT_TRUE(has(TSimTraceKind::TransferOut, "DATA, 80 bytes"));
    EXPECT_TRUE(has(TSimTraceKind::LinkIn, "DATA 0/1, 24 bytes [A5 99 00 28"));
    EXPECT_TRUE(has(TSimTraceKind::LinkOut, "ACK [A5 33 00 0C"));
    std::lock_guard lock(mutex);
    EXPECT_EQ(printed.size(), trace.size());
    sim.ClearTrace();
    EXPECT_TRUE(sim.Trace().empty());
}

TEST(LinkTest, ServesOnASerialDevice) {
    // A pseudo-terminal's far side stands in for a serial device; the test
    // plays the PC on its near side.
    int near = -1, far = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&near, &far, name, nullptr, nullptr), 0);
    TDescriptor keep(far);
    TSimConfig config;
    config.device = name;
    TDecoderSim sim(config);
    keep.Reset();
    EXPECT_EQ(sim.LinePath(), name);
    ::fcntl(near, F_SETFL, ::fcntl(near, F_GETFL) | O_NONBLOCK);
    TSimPeer peer{TDescriptor(near)};
    EXPECT_EQ(peer.Sync(), HL_ACK);
    std::vector<uint8_t> data;
    EXPECT_EQ(peer.ReadEeprom(0x1102, 1, &data), HL_DATA);
    EXPECT_EQ(data, std::vector<uint8_t>{29});
}
