#include "benchreport.h"

#include <sys/utsname.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef VELK_BUILD_TYPE
#define VELK_BUILD_TYPE "unknown"
#endif

namespace {

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string FirstLineWith(const char *file, const std::string &key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) {
            size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    return "unknown";
}

std::string Mark(bool met) {
    return met ? " (met)" : " (**missed**)";
}

} // namespace

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string MachineDescription(const std::string &loadBefore, const std::string &loadAfter,
                               const TBenchFloors &floors) {
    utsname names{};
    uname(&names);
    std::ostringstream text;
    char date[64];
    std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    long long memoryKiB = 0;
    std::istringstream(FirstLineWith("/proc/meminfo", "MemTotal")) >> memoryKiB;
    text << "- Date: " << date << "\n"
         << "- Machine: " << names.sysname << ' ' << names.release << ' ' << names.machine << ", "
         << FirstLineWith("/proc/cpuinfo", "model name") << ", " << std::thread::hardware_concurrency() << " cores, "
         << Fixed(double(memoryKiB) / 1048576.0, 1) << " GiB\n"
         << "- Build: " << VELK_BUILD_TYPE << ", compiler " << __VERSION__ << "\n"
         << "- Load average (1, 5, 15 min): " << loadBefore << " before the run, " << loadAfter << " after it\n"
         << "- Simulator: velksim in a child process on a pseudo-terminal; the paced line is " << kPacedBaud
         << " baud, " << kBitsPerByte << " bits a byte\n"
         << "- Floors of this machine: a 2048-byte packet and a 12-byte answer over a bare pseudo-terminal "
            "between two plain threads take "
         << Fixed(floors.ptyRoundTripUs, 0) << " us (median), so no stop-and-wait link on it passes "
         << Fixed(floors.ptyRoundTripUs > 0 ? 2032 / floors.ptyRoundTripUs : 0, 1)
         << " MB/s; a message from a worker thread reaches its handler on the owning thread in "
         << Fixed(floors.handOffUs, 0)
         << " us (median); the link engine sends 64 KiB to a bare peer thread "
            "that only acknowledges (no simulator) at "
         << Fixed(floors.linkSendMBps, 1) << " MB/s (median)\n";
    return text.str();
}

std::string MarkdownTable(const std::vector<TBenchRow> &rows) {
    std::ostringstream t;
    t << "| operation | line | runs | time | bytes on the line | line limit | efficiency (target >= "
      << Fixed(kTargetEfficiency * 100, 0) << " %, through a server " << Fixed(kTargetRemoteEfficiency * 100, 0)
      << " %) | CPU / wall (target <= " << Fixed(kTargetCpuShare * 100, 0)
      << " %) | memory bytes | throughput (flash target >= " << Fixed(kTargetFlashMBps, 0)
      << " MB/s) | median link packet round trip | time against the direct line (paced refresh target <= +"
      << Fixed(kTargetRemoteRefreshExtra * 100, 0) << " %) |\n"
      << "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const TBenchRow &r : rows) {
        const bool paced = r.baud > 0;
        t << "| " << r.operation << " | " << (paced ? std::to_string(r.baud) + " baud" : "unpaced")
          << (r.via.empty() ? "" : ", " + r.via) << " | ";
        if (!r.error.empty()) {
            t << r.runs << " | failed: " << r.error << " | | | | | | | | |\n";
            continue;
        }
        std::string against = "-";
        if (r.directSeconds > 0) {
            against = (r.ExtraOverDirect() >= 0 ? "+" : "") + Fixed(r.ExtraOverDirect() * 100, 1) + " %";
            if (paced && r.refresh)
                against += Mark(r.ExtraOverDirect() <= kTargetRemoteRefreshExtra);
        }
        t << r.runs << " | " << Fixed(r.wallSeconds * 1000, paced ? 0 : 2) << " ms | " << r.lineBytes << " | ";
        if (paced) {
            t << Fixed(r.LineLimitSeconds() * 1000, 0) << " ms | " << Fixed(r.Efficiency() * 100, 1) << " %"
              << Mark(r.Efficiency() >= r.TargetEfficiency()) << " | " << Fixed(r.CpuShare() * 100, 2) << " %"
              << Mark(r.CpuShare() <= kTargetCpuShare) << " | " << r.memoryBytes << " | - | - | " << against << " |\n";
        } else {
            t << "- | - | " << Fixed(r.CpuShare() * 100, 0) << " % | " << r.memoryBytes << " | " << Fixed(r.MBps(), 1)
              << " MB/s";
            if (r.flashTransfer && r.via.empty())
                t << Mark(r.MBps() >= kTargetFlashMBps);
            t << " | " << (r.roundTripMedianUs > 0 ? Fixed(r.roundTripMedianUs, 0) + " us" : "-") << " | " << against
              << " |\n";
        }
    }
    return t.str();
}

std::vector<std::string> MissedTargets(const std::vector<TBenchRow> &rows) {
    std::vector<std::string> missed;
    for (const TBenchRow &r : rows) {
        const std::string line =
            r.operation + (r.baud > 0 ? " (paced" : " (unpaced") + (r.via.empty() ? "" : ", " + r.via) + "): ";
        if (!r.error.empty()) {
            missed.push_back(line + "failed: " + r.error);
        } else if (r.baud > 0) {
            if (r.Efficiency() < r.TargetEfficiency())
                missed.push_back(line + "efficiency " + Fixed(r.Efficiency() * 100, 1) + " %");
            if (r.refresh && r.directSeconds > 0 && r.ExtraOverDirect() > kTargetRemoteRefreshExtra)
                missed.push_back(line + Fixed(r.ExtraOverDirect() * 100, 1) + " % longer than on the direct line");
            if (r.CpuShare() > kTargetCpuShare)
                missed.push_back(line + "CPU " + Fixed(r.CpuShare() * 100, 2) + " % of wall time");
        } else if (r.flashTransfer && r.via.empty() && r.MBps() < kTargetFlashMBps) {
            missed.push_back(line + Fixed(r.MBps(), 1) + " MB/s");
        }
    }
    return missed;
}

void WriteResults(const std::string &path, const std::string &machine, const std::string &table) {
    std::string notes;
    {
        std::ifstream old(path);
        std::string line;
        bool inNotes = false;
        while (std::getline(old, line)) {
            inNotes = inNotes || line == "## Notes";
            if (inNotes)
                notes += line + "\n";
        }
    }
    std::ofstream out(path, std::ios::trunc);
    out << "# Benchmark results\n\n"
        << "Written by `./run bench` (bench/velkbench). Each figure is the run with the median time of\n"
        << "its row's runs (column \"runs\"). Efficiency is the line's limit for the bytes that crossed\n"
        << "it in both directions (10 bits a byte at 115200 baud) divided by the measured time; CPU is\n"
        << "the library process's CPU time (user and system, getrusage) divided by the wall time.\n"
        << "Throughput counts the flash and EEPROM bytes the decoder read or wrote, in 10^6 bytes a\n"
        << "second. A link packet's round trip runs from writing it to its ACK, or, while receiving,\n"
        << "from one ACK the library wrote to the next DATA packet complete.\n\n"
        << "## Machine\n\n"
        << machine << "\n"
        << "## Figures\n\n"
        << table;
    if (!notes.empty())
        out << "\n" << notes;
}
