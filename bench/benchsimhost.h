// TBenchSimHost: the decoder simulator in a child process of its own, so that
// the benchmark process's CPU time (getrusage) is the library's alone. The
// child is forked before the benchmark starts any thread and is driven over a
// socket pair, one text line a command.
#pragma once

#include "velkdescriptor.h"

#include <sys/types.h>

#include <cstdint>
#include <string>

struct TBenchTraffic {
    int64_t lineBytes = 0;   // bytes that crossed the line, both directions
    int64_t memoryBytes = 0; // flash and EEPROM bytes read and written by requests
    int64_t requests = 0;    // transfer requests served (SYNC included)
};

class TBenchSimHost {
public:
    // Forks the child; it starts a demo decoder on a new pseudo-terminal, unpaced.
    TBenchSimHost();
    // Asks the child to stop and waits for it.
    ~TBenchSimHost();
    TBenchSimHost(const TBenchSimHost &) = delete;
    TBenchSimHost &operator=(const TBenchSimHost &) = delete;

    const std::string &LinePath() const { return linePath_; }
    // Paces the line from the next byte on (0: unpaced).
    void SetBaud(int32_t baud);
    // The latency timer of the USB adapter the simulator plays (0: none).
    void SetAdapterLatency(int32_t ms);
    // Back to the demo decoder, counters zeroed.
    void Reset();
    // Waits until the simulator has handled everything, then returns the
    // traffic since the last Reset or Traffic and zeroes the counters.
    TBenchTraffic Traffic();

private:
    std::string Command(const std::string &line);

    pid_t child_ = -1;
    TDescriptor socket_;
    std::string linePath_;
};
