// The assembler on hostile streams: noise, split markers, impossible lengths,
// packets longer than the receive buffer, damaged checks.
#include "HexStrings.h"
#include "velkllpacket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Bytes(const TBuffer &b) {
    return {b.Memory(), b.Memory() + b.Count()};
}

TBytes Concat(std::initializer_list<TBytes> parts) {
    TBytes all;
    for (const TBytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TBytes Ack() {
    return Bytes(velk_LLPacket(LL_ACK, 0, 0, 0, nullptr));
}
TBytes Data(uint16_t length, uint8_t fill = 0x3C) {
    TBytes payload(length, fill);
    return Bytes(velk_LLPacket(LL_DATA, 0, 0, length, payload.data()));
}

// Rewrites the header check of a hand-made header so that only the field under
// test is wrong.
void Reseal(TBytes &packet) {
    uint8_t x = 0;
    for (int i = 0; i < 10; ++i)
        x ^= packet[i];
    packet[10] = x;
    packet[11] = static_cast<uint8_t>(~x);
}

// Feeds the stream as the link engine does, offering at most Missing bytes at a
// time, and returns every packet completed, as "valid"/"invalid" and its bytes.
struct TAssembled {
    bool valid;
    uint16_t type;
    TBytes bytes;
};

std::vector<TAssembled> Assemble(velk_LLPacket &p, const TBytes &stream, int32_t chunk = 2048) {
    std::vector<TAssembled> out;
    size_t at = 0;
    while (at < stream.size()) {
        int32_t offer = std::min<int32_t>({p.Missing(), chunk, int32_t(stream.size() - at)});
        int32_t used = p.Feed(stream.data() + at, offer);
        EXPECT_EQ(used, offer);
        at += used;
        if (p.Missing() == 0) {
            out.push_back({p.IsValid(), p.PacketType(), Bytes(p)});
            p.Clear();
        }
    }
    return out;
}

TEST(LLPacketStreamTest, NoiseBeforeAndBetweenPacketsIsSkipped) {
    TBytes noise1 = {0x00, 0xFF, 0xA5, 0xA5, 0x12, 0xA5};
    TBytes noise2 = {0x99, 0x33, 0xA5, 0x00, 0xCC};
    TBytes stream = Concat({noise1, Ack(), noise2, Data(3), noise2, noise1, Ack()});
    velk_LLPacket p(2048);
    auto packets = Assemble(p, stream);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].bytes, Ack());
    EXPECT_EQ(packets[1].bytes, Data(3));
    EXPECT_EQ(packets[2].bytes, Ack());
    for (const auto &a : packets)
        EXPECT_TRUE(a.valid);
}

TEST(LLPacketStreamTest, MarkerSearchSlidesOneByteAtATime) {
    velk_LLPacket p(2048);
    const uint8_t leading[] = {0x00, 0xA5, 0x99, 0x00, 0x0C};
    EXPECT_EQ(p.Feed(leading, 5), 5);
    EXPECT_EQ(p.PacketType(), LL_DATA);
    EXPECT_EQ(p.TotalLength(), 12);
    EXPECT_EQ(p.Count(), 4);

    velk_LLPacket q(2048);
    const uint8_t doubled[] = {0xA5, 0xA5, 0x99};
    EXPECT_EQ(q.Feed(doubled, 3), 3);
    EXPECT_EQ(q.PacketType(), LL_DATA);
    EXPECT_EQ(q.Count(), 2);
}

TEST(LLPacketStreamTest, MarkersSplitAcrossFeedCalls) {
    TBytes stream = Concat({{0x17}, Data(40), Ack()});
    for (int32_t chunk : {1, 2, 3, 5, 7, 13}) {
        velk_LLPacket p(2048);
        size_t at = 0;
        std::vector<TBytes> done;
        while (at < stream.size()) {
            int32_t offer = std::min<int32_t>(chunk, int32_t(stream.size() - at));
            int32_t used = p.Feed(stream.data() + at, offer);
            ASSERT_GE(p.Missing(), 0);
            ASSERT_LE(used, offer);
            at += used;
            if (p.Missing() == 0) {
                ASSERT_TRUE(p.IsValid()) << chunk;
                done.push_back(Bytes(p));
                p.Clear();
            }
        }
        ASSERT_EQ(done.size(), 2u) << chunk;
        EXPECT_EQ(done[0], Data(40));
        EXPECT_EQ(done[1], Ack());
    }
}

TEST(LLPacketStreamTest, OneByteAtATimeNeedsExactlyWhatIsMissing) {
    TBytes data = Data(5);
    velk_LLPacket p(2048);
    std::vector<int32_t> missing;
    for (uint8_t b : data) {
        missing.push_back(p.Missing());
        ASSERT_EQ(p.Feed(&b, 1), 1);
    }
    EXPECT_EQ(p.Missing(), 0);
    EXPECT_TRUE(p.IsValid());
    // 2, 1 for the marker; 2, 1 for the length; then counting down from 17.
    EXPECT_EQ(missing[0], 2);
    EXPECT_EQ(missing[1], 1);
    EXPECT_EQ(missing[2], 2);
    EXPECT_EQ(missing[3], 1);
    EXPECT_EQ(missing[4], 17);
    EXPECT_EQ(missing.back(), 1);
    // A complete packet takes no more bytes.
    EXPECT_EQ(p.Feed(data.data(), 3), 0);
}

TEST(LLPacketStreamTest, TotalLengthBelowTwelveIsCompleteAndInvalidAtFourBytes) {
    for (uint8_t length = 0; length < 12; ++length) {
        TBytes stream = Concat({{0xA5, 0x99, 0x00, length}, Ack()});
        velk_LLPacket p(2048);
        EXPECT_EQ(p.Feed(stream.data(), int32_t(stream.size())), 4) << int(length);
        EXPECT_EQ(p.Missing(), 0);
        EXPECT_FALSE(p.IsValid());
        EXPECT_EQ(p.ToLogText(), BytesToHex(stream.data(), 4));
        uint8_t out[16];
        EXPECT_EQ(p.CopyPayload(out, 16), 0);
        // A completion time-out on it changes nothing: still complete, still bad.
        p.Invalidate();
        EXPECT_EQ(p.Missing(), 0);
        EXPECT_EQ(p.Count(), 4);
        EXPECT_FALSE(p.IsValid());
        // The bytes after it make the next packet.
        p.Clear();
        EXPECT_EQ(p.Feed(stream.data() + 4, 12), 12);
        EXPECT_TRUE(p.IsValid());
    }
}

TEST(LLPacketStreamTest, LongPacketsGrowTheReceiveBuffer) {
    for (int32_t total : {3000, 65535}) {
        TBytes data = Data(uint16_t(total - 16), 0xE1);
        velk_LLPacket p(2048);
        EXPECT_EQ(p.Feed(data.data(), 3), 3);
        EXPECT_EQ(p.Size(), 2048);
        EXPECT_EQ(p.Feed(data.data() + 3, 1), 1);
        EXPECT_EQ(p.Size(), total);
        // The rest arrives in reads of at most 2048 bytes, as from the port.
        TBytes rest(data.begin() + 4, data.end());
        auto packets = Assemble(p, rest, 2048);
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_TRUE(packets[0].valid) << total;
        EXPECT_EQ(packets[0].bytes, data);
        EXPECT_EQ(p.Size(), total); // the grown buffer is kept for the next packet
    }
}

TEST(LLPacketStreamTest, DamagedChecksMakeThePacketInvalid) {
    TBytes swapped = Ack();
    std::swap(swapped[10], swapped[11]);
    velk_LLPacket p(2048);
    EXPECT_EQ(p.Feed(swapped.data(), 12), 12);
    EXPECT_EQ(p.Missing(), 0);
    EXPECT_FALSE(p.IsValid());

    TBytes flipped = Data(100);
    flipped[12 + 57] ^= 0x08;
    velk_LLPacket q(2048);
    q.Feed(flipped.data(), int32_t(flipped.size()));
    EXPECT_EQ(q.Missing(), 0);
    EXPECT_EQ(q.StoredHeaderCheck(), q.HeaderCheck());
    EXPECT_NE(q.StoredPayloadCheck(), q.PayloadCheck());
    EXPECT_FALSE(q.IsValid());
}

TEST(LLPacketStreamTest, PayloadLengthBeyondThePacketIsInvalidAndCopyStaysInside) {
    // Both checks are right; only the payload length field promises too much.
    TBytes data = Data(3, 0x44);
    data[4] = 0x00;
    data[5] = 0xC8; // 200
    Reseal(data);
    velk_LLPacket p(2048);
    EXPECT_EQ(p.Feed(data.data(), int32_t(data.size())), int32_t(data.size()));
    EXPECT_EQ(p.StoredHeaderCheck(), p.HeaderCheck());
    EXPECT_EQ(p.StoredPayloadCheck(), p.PayloadCheck());
    EXPECT_FALSE(p.IsValid());
    TBytes out(300, 0);
    EXPECT_EQ(p.CopyPayload(out.data(), 300), 3);
    EXPECT_EQ(out[3], 0);

    TBytes ack = Ack();
    ack[5] = 5; // a 12-byte packet claiming 5 payload bytes
    Reseal(ack);
    velk_LLPacket q(2048);
    q.Feed(ack.data(), 12);
    EXPECT_FALSE(q.IsValid());
    EXPECT_EQ(q.CopyPayload(out.data(), 300), 0);
}

TEST(LLPacketStreamTest, InvalidateEndsAPartialPacket) {
    TBytes data = Data(24); // 40 bytes
    velk_LLPacket p(2048);
    p.Feed(data.data(), 20);
    EXPECT_EQ(p.Missing(), 20);
    p.Invalidate();
    EXPECT_EQ(p.Missing(), 0);
    EXPECT_EQ(p.Count(), 40);
    EXPECT_FALSE(p.IsValid());
    uint8_t out[64];
    EXPECT_LE(p.CopyPayload(out, 64), 24);

    velk_LLPacket q(2048);
    q.Feed(data.data(), 3);
    q.Invalidate();
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.Missing(), 2);
    EXPECT_FALSE(q.IsValid());
}

} // namespace
