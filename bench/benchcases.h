// The operations the benchmark times, each as a user of the library runs it:
// raw transfers through the transfer engine, refreshes and the sample
// screen-set upload through the record directory.
#pragma once

#include "benchstack.h"

#include <functional>
#include <string>
#include <vector>

struct TBenchCase {
    std::string name;
    std::function<void(TBenchStack &)> run; // throws when the operation fails
    bool flashTransfer = false;             // held to the unpaced throughput target
    // The latency timer of the USB adapter the simulator plays (0: a plain
    // serial port); such a row is measured on the paced line only.
    int32_t adapterLatencyMs = 0;
    // Also measured through ser2net (rfc2217://), beside the direct line.
    bool remote = false;
};

// The cases in table order; samplesDir holds the sample screen set.
std::vector<TBenchCase> BenchCases(const std::string &samplesDir);
