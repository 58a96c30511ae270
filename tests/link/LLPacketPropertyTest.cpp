// Seeded random byte streams through the assembler. Run under the sanitizers,
// these show that Feed never writes outside the buffer whatever arrives, and
// that every packet ends either complete or still missing bytes.
#include "velkllpacket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

class TStreamMaker {
public:
    explicit TStreamMaker(uint32_t seed) : random_(seed) {}

    uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(random_); }

    // Bytes that can never begin a marker.
    TBytes Noise(uint32_t maxLength) {
        TBytes bytes(Below(maxLength + 1));
        for (uint8_t &b : bytes)
            do
                b = static_cast<uint8_t>(Below(256));
            while (b == 0xA5);
        return bytes;
    }

    TBytes AnyBytes(uint32_t maxLength) {
        TBytes bytes(Below(maxLength + 1));
        for (uint8_t &b : bytes)
            b = static_cast<uint8_t>(Below(256));
        return bytes;
    }

    TBytes Packet() {
        static const uint16_t types[] = {LL_DATA, LL_ACK, LL_NACK};
        uint16_t type = types[Below(3)];
        uint16_t length = Below(4) == 0 ? 0 : static_cast<uint16_t>(Below(Below(8) == 0 ? 5000 : 300));
        TBytes payload(length);
        for (uint8_t &b : payload)
            b = static_cast<uint8_t>(Below(256));
        uint16_t last = static_cast<uint16_t>(Below(65536));
        uint16_t index = static_cast<uint16_t>(Below(last + 1u));
        velk_LLPacket p(type, last, index, length, payload.data());
        return {p.Memory(), p.Memory() + p.Count()};
    }

    // A packet start with a hostile header: a real marker, then any length.
    TBytes HostileHeader() {
        TBytes bytes = {0xA5, 0x99, static_cast<uint8_t>(Below(256)), static_cast<uint8_t>(Below(256))};
        if (Below(2) == 0)
            bytes[2] = 0; // short lengths, 0 to 255, are the interesting ones
        TBytes rest = AnyBytes(64);
        bytes.insert(bytes.end(), rest.begin(), rest.end());
        return bytes;
    }

    TBytes Damaged() {
        TBytes bytes = Packet();
        bytes[Below(uint32_t(bytes.size()))] ^= static_cast<uint8_t>(1u << Below(8));
        return bytes;
    }

private:
    std::mt19937 random_;
};

void Append(TBytes &to, const TBytes &bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

// Checks what must hold of a packet at any moment.
void ExpectSound(const velk_LLPacket &p) {
    ASSERT_GE(p.Count(), 0);
    ASSERT_LE(p.Count(), p.Size());
    ASSERT_GE(p.Missing(), 0);
    if (p.Count() >= 4 && p.TotalLength() >= kLLHeaderLength) {
        ASSERT_LE(p.TotalLength(), p.Size());
    }
}

// Reads everything a client may read from a complete packet.
void Inspect(const velk_LLPacket &p) {
    bool valid = p.IsValid();
    TBytes out(70000);
    int32_t copied = p.CopyPayload(out.data(), int32_t(out.size()));
    ASSERT_LE(copied, p.PayloadLength());
    ASSERT_LE(copied, std::max(p.Count() - 16, 0));
    if (valid) {
        ASSERT_EQ(copied, p.TotalLength() > 12 ? p.TotalLength() - 16 : 0);
    }
    ASSERT_LE(p.ReasonText().size(), size_t(std::max(p.Count() - 12, 0)));
    ASSERT_FALSE(p.ToLogText().empty());
}

TEST(LLPacketPropertyTest, ArbitraryStreamsNeverOverrunAndEveryPacketEnds) {
    for (uint32_t seed = 1; seed <= 1000; ++seed) {
        TStreamMaker make(seed);
        TBytes stream;
        for (uint32_t segment = make.Below(30); segment > 0; --segment) {
            switch (make.Below(5)) {
            case 0:
                Append(stream, make.AnyBytes(200));
                break;
            case 1:
                Append(stream, make.Packet());
                break;
            case 2:
                Append(stream, make.HostileHeader());
                break;
            case 3:
                Append(stream, make.Damaged());
                break;
            default:
                Append(stream, make.Noise(20));
                break;
            }
        }
        velk_LLPacket p(make.Below(3) == 0 ? 0 : 2048);
        size_t at = 0;
        while (at < stream.size()) {
            // Sometimes more than Missing is offered: Feed must stop on its own.
            int32_t offer = int32_t(std::min<size_t>(1 + make.Below(3000), stream.size() - at));
            int32_t used = p.Feed(stream.data() + at, offer);
            ASSERT_GE(used, 1) << "seed " << seed;
            ASSERT_LE(used, offer);
            at += used;
            ExpectSound(p);
            if (used < offer) {
                ASSERT_EQ(p.Missing(), 0) << "seed " << seed;
            }
            if (p.Missing() == 0) {
                Inspect(p);
                p.Clear();
            } else if (make.Below(50) == 0) {
                // A completion time-out strikes in the middle of a packet.
                p.Invalidate();
                ExpectSound(p);
                if (p.Count() > 0) {
                    ASSERT_EQ(p.Missing(), 0);
                    ASSERT_FALSE(p.IsValid());
                }
                p.Clear();
            }
        }
        // Whatever is left either completes by Invalidate or is empty.
        p.Invalidate();
        ExpectSound(p);
        ASSERT_FALSE(p.IsValid());
        ASSERT_TRUE(p.Count() == 0 || p.Missing() == 0);
    }
}

TEST(LLPacketPropertyTest, PacketsBetweenNoiseComeOutIntact) {
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        TStreamMaker make(seed);
        TBytes stream;
        std::vector<TBytes> sent;
        for (uint32_t count = 1 + make.Below(12); count > 0; --count) {
            Append(stream, make.Noise(40));
            sent.push_back(make.Packet());
            Append(stream, sent.back());
        }
        Append(stream, make.Noise(40));

        velk_LLPacket p(2048);
        std::vector<TBytes> received;
        size_t at = 0;
        while (at < stream.size()) {
            int32_t offer = int32_t(std::min<size_t>(1 + make.Below(64), stream.size() - at));
            at += p.Feed(stream.data() + at, std::min(offer, p.Missing()));
            if (p.Missing() == 0) {
                ASSERT_TRUE(p.IsValid()) << "seed " << seed;
                received.emplace_back(p.Memory(), p.Memory() + p.Count());
                p.Clear();
            }
        }
        ASSERT_EQ(received, sent) << "seed " << seed;
    }
}

} // namespace
