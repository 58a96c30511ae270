// The benchmark's figures and their Markdown: one row per operation and line,
// the machine's description, and RESULTS.md with its hand-written notes kept.
#pragma once

#include "benchfloors.h"

#include <string>
#include <vector>

// Targets (reported, never tested).
inline constexpr double kTargetEfficiency = 0.98; // paced: line limit / measured time
inline constexpr double kTargetCpuShare = 0.02;   // paced: CPU time / wall time
inline constexpr double kTargetFlashMBps = 20.0;  // unpaced flash write and read
// Through ser2net (rfc2217): paced efficiency, and how much longer a paced
// refresh may take than on the direct line in the same run.
inline constexpr double kTargetRemoteEfficiency = 0.97;
inline constexpr double kTargetRemoteRefreshExtra = 0.03;
inline constexpr int kPacedBaud = 115200;
inline constexpr int kBitsPerByte = 10; // 8N1: start, 8 data, stop

struct TBenchRow {
    std::string operation;
    int baud = 0; // 0 unpaced
    int runs = 0;
    double wallSeconds = 0;  // median of the runs
    double cpuSeconds = 0;   // of that run
    long long lineBytes = 0; // both directions
    long long memoryBytes = 0;
    double roundTripMedianUs = 0; // unpaced; 0 when no packet followed another
    bool flashTransfer = false;
    std::string via;          // empty: the direct line; else the server between ("ser2net rfc2217")
    double directSeconds = 0; // a row through a server: the same operation's time on the direct line
    bool refresh = false;     // a record directory refresh (held to the remote refresh target)
    std::string error;        // the operation failed

    double LineLimitSeconds() const { return double(lineBytes) * kBitsPerByte / kPacedBaud; }
    double Efficiency() const { return wallSeconds > 0 ? LineLimitSeconds() / wallSeconds : 0; }
    double CpuShare() const { return wallSeconds > 0 ? cpuSeconds / wallSeconds : 0; }
    double MBps() const { return wallSeconds > 0 ? double(memoryBytes) / wallSeconds / 1e6 : 0; }
    double TargetEfficiency() const { return via.empty() ? kTargetEfficiency : kTargetRemoteEfficiency; }
    // How much longer than on the direct line (0.02: 2 % longer); 0 without a direct figure.
    double ExtraOverDirect() const { return directSeconds > 0 ? wallSeconds / directSeconds - 1 : 0; }
};

// The system, processor, memory, build, the load before and after the run and
// the machine's floors.
std::string MachineDescription(const std::string &loadBefore, const std::string &loadAfter, const TBenchFloors &floors);
// The first three fields of /proc/loadavg.
std::string LoadAverage();

std::string MarkdownTable(const std::vector<TBenchRow> &rows);
// Targets missed, one line each; empty when every target is met.
std::vector<std::string> MissedTargets(const std::vector<TBenchRow> &rows);

// Writes path anew: title, machine, table; keeps everything from the line
// "## Notes" of the file as it was.
void WriteResults(const std::string &path, const std::string &machine, const std::string &table);
