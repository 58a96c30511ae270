// Fuzzes the link packet assembler: a stream of raw bytes, well-formed packets
// and damaged packets, cut into reads of any size, sometimes offering more
// than Missing, sometimes interrupted by a completion time-out.
#include "FuzzCheck.h"
#include "velkcommon.h"
#include "velkllpacket.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

void CheckSound(const velk_LLPacket &p) {
    VELK_FUZZ_CHECK(p.Count() >= 0 && p.Count() <= p.Size());
    VELK_FUZZ_CHECK(p.Missing() >= 0);
}

// A valid packet that carries exactly its payload is rebuilt byte for byte.
void CheckRebuild(const velk_LLPacket &p) {
    uint16_t length = p.PayloadLength();
    bool exact = length > 0 ? p.TotalLength() == length + 16 : p.TotalLength() == 12;
    uint16_t last = ReadBE16(p.Memory() + 6);
    uint16_t index = ReadBE16(p.Memory() + 8);
    if (!exact || last < index)
        return;
    velk_LLPacket again(p.PacketType(), last, index, length, p.Payload());
    VELK_FUZZ_CHECK(again.Count() == p.Count());
    VELK_FUZZ_CHECK(std::memcmp(again.Memory(), p.Memory(), p.Count()) == 0);
}

void Inspect(const velk_LLPacket &p) {
    // Room for the largest payload, made once: a fresh 64 KiB per packet cost
    // more than the rest of the inspection.
    static std::vector<uint8_t> out(0x10000);
    int32_t copied = p.CopyPayload(out.data(), int32_t(out.size()));
    VELK_FUZZ_CHECK(copied >= 0 && copied <= p.PayloadLength());
    VELK_FUZZ_CHECK(copied <= std::max(p.Count() - 16, 0));
    VELK_FUZZ_CHECK(p.ReasonText().size() <= size_t(std::max(p.Count() - 12, 0)));
    VELK_FUZZ_CHECK(p.ToLogText().empty() == (p.Count() == 0));
    if (p.IsValid()) {
        VELK_FUZZ_CHECK(p.PacketType() != LL_NONE);
        CheckRebuild(p);
    }
}

// Raw bytes, sealed packets and packets with one byte damaged, in the order
// the input chooses: sealed packets let the fuzzer reach the valid paths.
std::vector<uint8_t> MakeStream(FuzzedDataProvider &input) {
    std::vector<uint8_t> stream;
    while (input.remaining_bytes() > 0 && stream.size() < 200000) {
        int kind = input.ConsumeIntegralInRange<int>(0, 2);
        if (kind == 0) {
            auto raw = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 256));
            stream.insert(stream.end(), raw.begin(), raw.end());
            continue;
        }
        uint16_t type = input.PickValueInArray({LL_DATA, LL_ACK, LL_NACK});
        uint16_t last = input.ConsumeIntegral<uint16_t>();
        uint16_t index = input.ConsumeIntegralInRange<uint16_t>(0, last);
        auto payload = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 3000));
        velk_LLPacket packet(type, last, index, uint16_t(payload.size()), payload.data());
        size_t start = stream.size();
        stream.insert(stream.end(), packet.Memory(), packet.Memory() + packet.Count());
        if (kind == 2)
            stream[start + input.ConsumeIntegralInRange<size_t>(0, packet.Count() - 1)] ^=
                input.ConsumeIntegralInRange<uint8_t>(1, 255);
    }
    return stream;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    int32_t capacity = input.ConsumeIntegralInRange<int32_t>(0, 4096);
    std::minstd_rand plan(input.ConsumeIntegral<uint32_t>());
    std::vector<uint8_t> stream = MakeStream(input);

    velk_LLPacket p(capacity);
    size_t at = 0;
    while (at < stream.size()) {
        uint32_t step = plan();
        int32_t offer = int32_t(std::min<size_t>(1 + step % 3000, stream.size() - at));
        if (step & 0x10000)
            offer = std::min(offer, p.Missing()); // as the link engine reads
        int32_t used = p.Feed(stream.data() + at, offer);
        VELK_FUZZ_CHECK(used >= 1 && used <= offer);
        VELK_FUZZ_CHECK(used == offer || p.Missing() == 0);
        at += size_t(used);
        CheckSound(p);
        if (p.Missing() == 0) {
            Inspect(p);
            p.Clear();
        } else if (step % 61 == 0) {
            p.Invalidate(); // the completion time-out
            CheckSound(p);
            VELK_FUZZ_CHECK(p.Count() == 0 || (p.Missing() == 0 && !p.IsValid()));
            Inspect(p);
            p.Clear();
        }
    }
    p.Invalidate();
    CheckSound(p);
    VELK_FUZZ_CHECK(!p.IsValid());
    return 0;
}
