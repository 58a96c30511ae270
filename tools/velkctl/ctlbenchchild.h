// The side of a run on several decoders that one decoder's process sees.
// velkctl runs itself once per decoder with the same arguments and one
// environment variable naming the decoder it is for; that process talks to
// its port alone, with the paths worked out for its decoder. Besides its
// ordinary output it tells the process that runs it, as lines of their own on
// standard error starting with a record mark, how far a transfer has come and
// what failed, so that nothing is read back out of the text meant for people.
#pragma once

#include "ctldecoderpaths.h"

#include <optional>
#include <string>

struct TBenchChild {
    TDecoderName Decoder;
    bool Progress = false; // report progress records
};

inline constexpr const char *BenchDecoderVariable = "VELKCTL_BENCH_DECODER";
// A record line: the mark, its kind, its text.
inline constexpr char BenchRecordMark = '\x1e';
inline constexpr char BenchProgressRecord = 'P'; // a progress line's text; empty: none shown
inline constexpr char BenchFailureRecord = 'E';  // the message of the failure that ends the command
// The columns of a progress record's text.
inline constexpr int BenchProgressWidth = 60;

// NAME=VALUE for the process of decoder.
std::string BenchChildVariable(const TDecoderName &decoder, bool progress);

// The decoder this process is for, when it runs as one decoder of several;
// ECtlUsage when the variable is malformed.
std::optional<TBenchChild> BenchChildFromEnvironment();

// Whether this process reports records; set once at the start.
void SetBenchRecords(bool on);
bool BenchRecords();
// Writes a record line on standard error, when records are reported.
void WriteBenchRecord(char kind, const std::string &text);
