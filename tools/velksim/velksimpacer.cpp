#include "velksimpacer.h"

#include <algorithm>

namespace velksim {

namespace {
constexpr int64_t BitsPerByte = 10; // start bit, 8 data bits, stop bit
}

TSimPacer::Clock::duration TSimPacer::LineTime(int64_t n) const {
    int32_t baud = Baud();
    if (baud <= 0 || n <= 0)
        return Clock::duration::zero();
    auto nanoseconds = std::chrono::nanoseconds(n * BitsPerByte * 1'000'000'000 / baud);
    return std::chrono::duration_cast<Clock::duration>(nanoseconds);
}

TSimPacer::Clock::time_point TSimPacer::Received(int64_t n, Clock::time_point now) {
    rxBy_ = std::max(rxBy_, now) + LineTime(n);
    return rxBy_;
}

int32_t TSimPacer::ChunkBytes() const {
    int32_t baud = Baud();
    if (baud <= 0)
        return 1 << 30;
    return std::max<int32_t>(1, baud / BitsPerByte / 500);
}

TSimPacer::Clock::time_point TSimPacer::Sent(int64_t n, Clock::time_point now) {
    txBy_ = std::max(txBy_, now) + LineTime(n);
    return txBy_;
}

} // namespace velksim
