// TBenchRun: one command on several decoders at once. Each decoder gets a
// process of its own (velkctl again, see ctlbenchchild.h), at most jobs at a
// time, so a decoder that hangs or fails holds up no other beyond its own
// time-outs. Their lines are passed on whole, each after "LABEL: ", on the
// stream they came on; on a terminal each running decoder has a progress line
// of its own. At the end a summary says per decoder whether it succeeded.
#pragma once

#include "ctldecoderpaths.h"

#include <chrono>
#include <string>
#include <vector>

struct TBenchSettings {
    std::vector<std::string> Arguments; // the command line, the program's name first
    int Jobs = 0;                       // 0: all at once
    bool Json = false;                  // the summary as one JSON document on standard output
    bool Progress = false;              // progress lines on standard error (a terminal)
    bool Quiet = false;                 // the summary names only the decoders that failed
};

struct TBenchOutcome {
    TDecoderName Decoder;
    int ExitCode = 0;
    std::string Error;  // the message of the failure; empty when it succeeded
    std::string Output; // standard output, kept for the JSON summary
    double Seconds = 0;
};

class TBenchRun {
public:
    TBenchRun(std::vector<TDecoderName> decoders, TBenchSettings settings);

    // Runs every decoder and prints the summary; returns the exit code: 0 when
    // every decoder succeeded, 2 when any met a usage error, else 1.
    int Run();

    const std::vector<TBenchOutcome> &Outcomes() const { return outcomes_; }

private:
    std::vector<TDecoderName> decoders_;
    TBenchSettings settings_;
    std::vector<TBenchOutcome> outcomes_;
};

// The exit code of a run whose decoders ended with these codes.
int BenchExitCode(const std::vector<TBenchOutcome> &outcomes);
// The summary of the outcomes as people read it, one line per decoder.
std::string BenchSummaryText(const std::vector<TBenchOutcome> &outcomes, bool failuresOnly);
// The summary as one JSON document.
std::string BenchSummaryJson(const std::vector<TBenchOutcome> &outcomes);
