// The paced line: transfers take the byte time of the baud rate with 8N1
// framing, in both directions, measured as a ratio to the computed time.
#include "SimPeer.h"

#include "velksim.h"

#include <gtest/gtest.h>

using namespace velksim;

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// 10 bits a byte: start bit, 8 data bits, stop bit.
double LineSeconds(size_t bytes, int32_t baud) {
    return double(bytes) * 10.0 / baud;
}

} // namespace

TEST(PacingTest, BothDirectionsTakeTheByteTimeOfTheBaudRate) {
    TSimConfig config;
    config.baud = 38400;
    TDecoderSim sim(config);
    EXPECT_EQ(sim.Baud(), 38400);
    TSimPeer peer(sim.LinePath());

    // The PC's 2048-byte packet reaches the decoder, then its 12-byte ACK comes back.
    std::vector<uint8_t> payload(2032, 0x22);
    auto start = std::chrono::steady_clock::now();
    peer.Write(velk_LLPacket(LL_DATA, 1, 0, 2032, payload.data()));
    ASSERT_EQ(peer.ReadBytes(12, 5000ms).size(), 12u);
    double ratio = Seconds(std::chrono::steady_clock::now() - start) / LineSeconds(2048 + 12, 38400);
    EXPECT_GE(ratio, 0.9);
    EXPECT_LE(ratio, 3.0);

    // The decoder's one 2048-byte DATA packet (2016 bytes read, 16 of header)
    // at a speed changed while it runs.
    sim.SetBaud(19200);
    ASSERT_TRUE(peer.SendTransmission(BytesOf(ReadRequest(HL_READ_FLASH, FlashBase, 2016)), 5000ms));
    start = std::chrono::steady_clock::now();
    auto packet = peer.ReadPacket(5000ms);
    ASSERT_TRUE(packet && packet->IsValid());
    EXPECT_EQ(packet->Count(), 2048);
    ratio = Seconds(std::chrono::steady_clock::now() - start) / LineSeconds(2048, 19200);
    EXPECT_GE(ratio, 0.9);
    EXPECT_LE(ratio, 3.0);
}

TEST(PacingTest, ALongWriteKeepsItsPaceWhateverEachWakeUpCosts) {
    // At 9600 baud the decoder's 2048-byte packet leaves in 2048 chunks of one
    // byte. Were each chunk timed from the moment the one before it had gone,
    // every late wake-up (at least the timer slack of 50 us) would add up to
    // over a tenth of a second here; timed from the start of the packet, only
    // the last one counts.
    TSimConfig config;
    config.baud = 9600;
    TDecoderSim sim(config);
    TSimPeer peer(sim.LinePath());
    ASSERT_TRUE(peer.SendTransmission(BytesOf(ReadRequest(HL_READ_FLASH, FlashBase, 2016)), 5000ms));
    auto first = peer.ReadBytes(1, 5000ms);
    ASSERT_EQ(first.size(), 1u);
    const auto start = std::chrono::steady_clock::now();
    size_t got = 1;
    while (got < 2048) {
        auto more = peer.ReadBytes(2048 - got, 5000ms);
        ASSERT_FALSE(more.empty());
        got += more.size();
    }
    const double ratio = Seconds(std::chrono::steady_clock::now() - start) / LineSeconds(2047, 9600);
    EXPECT_GE(ratio, 0.95);
    EXPECT_LE(ratio, 1.04);
}

// Behind a USB adapter an answer that does not fill the adapter's 62-byte
// packet reaches the PC only when its latency timer runs out.
TEST(PacingTest, AnAdapterHoldsAShortAnswerForItsLatency) {
    for (int32_t latency : {150, 0}) {
        TSimConfig config;
        config.adapterLatencyMs = latency;
        TDecoderSim sim(config);
        EXPECT_EQ(sim.AdapterLatency(), latency);
        TSimPeer peer(sim.LinePath());
        // A SYNC: the decoder's ACK of the request, then its answer, each
        // shorter than the adapter's packet.
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(peer.Sync(), HL_ACK);
        const double seconds = Seconds(std::chrono::steady_clock::now() - start);
        if (latency > 0)
            EXPECT_GE(seconds, 0.3);
        else
            EXPECT_LT(seconds, 0.15);
    }
}
