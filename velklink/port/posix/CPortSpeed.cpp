#include "CPortSpeed.h"

#include <iterator>
#include <utility>

speed_t TermiosSpeed(int32_t bitsPerSecond) {
    static constexpr std::pair<int32_t, speed_t> speeds[] = {
        {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
        {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const auto &[rate, speed] : speeds)
        if (rate == bitsPerSecond)
            return speed;
    return B0;
}
