#include "velksimfaults.h"

namespace velksim {

bool TSimDice::Hit(double rate) {
    if (rate <= 0)
        return false;
    double draw = std::uniform_real_distribution<double>(0.0, 1.0)(engine_);
    return draw < rate;
}

int32_t TSimDice::Between(int32_t low, int32_t high) {
    if (high <= low)
        return low;
    return std::uniform_int_distribution<int32_t>(low, high)(engine_);
}

} // namespace velksim
