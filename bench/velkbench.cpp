// velkbench: times the library's transfers against the decoder simulator on an
// unpaced line and on a line paced like a 115200-baud cable, and prints a
// Markdown table of the figures with their targets.
//
// The operations marked remote are measured again through ser2net (rfc2217://
// on 127.0.0.1) when it is installed, each row beside the direct line's.
//
//   velkbench [--results FILE] [--runs N] [--paced-runs N] [--unpaced-only] [--no-remote] [--only TEXT]
//             [--samples DIR]
#include "Ser2netServer.h"
#include "benchcases.h"
#include "benchfloors.h"
#include "benchreport.h"
#include "benchsessions.h"
#include "benchsimhost.h"
#include "benchstack.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#ifndef VELK_SAMPLES_DIR
#define VELK_SAMPLES_DIR "samples"
#endif

namespace {

struct TOptions {
    std::string results;
    std::string samples = VELK_SAMPLES_DIR;
    int runs = 7;
    int pacedRuns = 1;
    bool paced = true;
    bool remote = true; // also through ser2net
    std::string only;   // run only the operations whose name holds this
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct TRun {
    double wall = 0;
    double cpu = 0;
    TBenchTraffic traffic;
};

TBenchRow Measure(const TBenchCase &benchCase, int baud, int runs, TBenchSimHost &host, TBenchStack &stack) {
    TBenchRow row;
    row.operation = benchCase.name;
    row.baud = baud;
    row.flashTransfer = benchCase.flashTransfer;
    row.refresh = benchCase.name.find("refresh") != std::string::npos;
    std::vector<TRun> done;
    std::vector<double> roundTrips;
    try {
        for (int i = 0; i < runs; ++i) {
            host.Reset();
            stack.NewRecords();
            stack.TakeRoundTrips();
            TRun run;
            const double cpuBefore = CpuSeconds();
            const auto start = TBenchStack::Clock::now();
            benchCase.run(stack);
            run.wall = std::chrono::duration<double>(TBenchStack::Clock::now() - start).count();
            run.cpu = CpuSeconds() - cpuBefore;
            run.traffic = host.Traffic();
            const std::vector<double> trips = stack.TakeRoundTrips();
            roundTrips.insert(roundTrips.end(), trips.begin(), trips.end());
            done.push_back(run);
        }
    } catch (const std::exception &error) {
        row.error = error.what();
    }
    row.runs = static_cast<int>(done.size());
    if (done.empty())
        return row;
    std::sort(done.begin(), done.end(), [](const TRun &a, const TRun &b) { return a.wall < b.wall; });
    const TRun &median = done[done.size() / 2];
    row.wallSeconds = median.wall;
    row.cpuSeconds = median.cpu;
    row.lineBytes = median.traffic.lineBytes;
    row.memoryBytes = median.traffic.memoryBytes;
    row.roundTripMedianUs = Median(roundTrips);
    return row;
}

TOptions ParseOptions(int argc, char **argv) {
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "velkbench: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--results")
            options.results = value();
        else if (arg == "--runs")
            options.runs = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--paced-runs")
            options.pacedRuns = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--samples")
            options.samples = value();
        else if (arg == "--unpaced-only")
            options.paced = false;
        else if (arg == "--no-remote")
            options.remote = false;
        else if (arg == "--only")
            options.only = value();
        else {
            std::fprintf(stderr,
                         "usage: velkbench [--results FILE] [--runs N] [--paced-runs N] [--unpaced-only] [--no-remote] "
                         "[--only TEXT] [--samples DIR]\n");
            std::exit(2);
        }
    }
    return options;
}

} // namespace

int main(int argc, char **argv) {
    const TOptions options = ParseOptions(argc, argv);
    try {
        // The simulator's process is forked before this one starts any thread.
        TBenchSimHost host;
        // Three more decoders for the sessions' rows, forked now as well.
        TBenchSimHost second, third, fourth;
        const std::string loadBefore = LoadAverage();
        const TBenchFloors floors = MeasureFloors();
        std::vector<TBenchRow> rows;
        const std::vector<TBenchCase> cases = BenchCases(options.samples);
        std::vector<int> bauds = {0};
        if (options.paced)
            bauds.push_back(kPacedBaud);
        {
            TBenchStack stack(host.LinePath());
            for (int baud : bauds) {
                host.SetBaud(baud);
                for (const TBenchCase &benchCase : cases) {
                    if (benchCase.name.find(options.only) == std::string::npos ||
                        (benchCase.adapterLatencyMs > 0 && baud == 0))
                        continue;
                    std::fprintf(stderr, "velkbench: %s, %s ...\n", benchCase.name.c_str(), baud ? "paced" : "unpaced");
                    host.SetAdapterLatency(benchCase.adapterLatencyMs);
                    rows.push_back(Measure(benchCase, baud, baud ? options.pacedRuns : options.runs, host, stack));
                    host.SetAdapterLatency(0);
                }
            }
        }
        std::vector<TBenchRow> sessionRows;
        if (options.paced &&
            std::string("read 64 KiB, four sessions at once").find(options.only) != std::string::npos) {
            std::fprintf(stderr, "velkbench: one session and four at once, paced ...\n");
            sessionRows = MeasureSessions({&host, &second, &third, &fourth}, options.pacedRuns);
            rows.insert(rows.end(), sessionRows.begin(), sessionRows.end());
        }
        // Through ser2net, once the direct line's port is closed (the server
        // opens the same line).
        if (options.remote && !Ser2netServer::Program().empty()) {
            Ser2netServer server(host.LinePath());
            TBenchStack stack(server.Rfc2217Name());
            const size_t direct = rows.size();
            for (int baud : bauds) {
                host.SetBaud(baud);
                for (const TBenchCase &benchCase : cases) {
                    if (!benchCase.remote || benchCase.name.find(options.only) == std::string::npos)
                        continue;
                    std::fprintf(stderr, "velkbench: %s, %s, through ser2net ...\n", benchCase.name.c_str(),
                                 baud ? "paced" : "unpaced");
                    TBenchRow row = Measure(benchCase, baud, baud ? options.pacedRuns : options.runs, host, stack);
                    row.via = "rfc2217 via ser2net";
                    for (size_t i = 0; i < direct; ++i)
                        if (rows[i].operation == row.operation && rows[i].baud == baud && rows[i].error.empty())
                            row.directSeconds = rows[i].wallSeconds;
                    rows.push_back(row);
                }
            }
        }
        const std::string machine = MachineDescription(loadBefore, LoadAverage(), floors);
        const std::string table = MarkdownTable(rows);
        std::printf("%s\n%s", machine.c_str(), table.c_str());
        std::vector<std::string> missed = MissedTargets(rows);
        for (const std::string &line : MissedSessionTargets(sessionRows))
            missed.push_back(line);
        std::printf("\n%s\n", missed.empty() ? "Every target met." : "Targets missed:");
        for (const std::string &line : missed)
            std::printf("- %s\n", line.c_str());
        if (!options.results.empty())
            WriteResults(options.results, machine, table);
        for (const TBenchRow &row : rows)
            if (!row.error.empty())
                return 1;
        return 0;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "velkbench: %s\n", error.what());
        return 1;
    }
}
