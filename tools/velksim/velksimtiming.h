// TSimTiming: the decoder's own time limits on the line.
#pragma once

#include <chrono>
#include <cstdint>

namespace velksim {

struct TSimTiming {
    // How long the decoder waits for the PC's answer to each DATA packet.
    std::chrono::milliseconds answerTimeout{5000};
    // How long a started packet may take to complete (plus its paced line time).
    std::chrono::milliseconds completionTimeout{1000};
    // NACKs in a row for one packet after which the decoder gives up; the PC
    // gives up after 10, so the decoder sends at least its 11th try.
    int32_t maxNacks = 10;
};

} // namespace velksim
