#include "benchsessions.h"

#include "velklink.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

namespace {

constexpr uint32_t kReadAddress = 0x34030000; // record slot 1
constexpr uint32_t kReadLength = 64 * 1024;
constexpr double kWallTarget = 1.05; // four at once against one, wall time
constexpr double kCpuTarget = 4.0;   // and CPU time

double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

velk_session *OpenSession(const std::string &port) {
    velk_session *session = nullptr;
    if (velk_open(port.c_str(), &session) != VELK_OK)
        throw std::runtime_error(std::string("velk_open: ") + velk_message(nullptr));
    return session;
}

// Reads on count sessions at once, one thread each; the row of the median run.
TBenchRow Measure(const std::vector<TBenchSimHost *> &hosts, size_t count, int runs, const std::string &name) {
    TBenchRow row;
    row.operation = name;
    row.baud = kPacedBaud;
    std::vector<velk_session *> sessions;
    struct TRun {
        double wall, cpu;
        TBenchTraffic traffic;
    };
    std::vector<TRun> done;
    try {
        for (size_t i = 0; i < count; ++i)
            sessions.push_back(OpenSession(hosts[i]->LinePath()));
        for (int run = 0; run < runs; ++run) {
            for (size_t i = 0; i < count; ++i)
                hosts[i]->Reset();
            std::vector<velk_result> results(count, VELK_OK);
            std::vector<std::vector<uint8_t>> buffers(count, std::vector<uint8_t>(kReadLength));
            const double cpuBefore = ProcessCpuSeconds();
            const auto start = std::chrono::steady_clock::now();
            std::vector<std::thread> threads;
            for (size_t i = 0; i < count; ++i)
                threads.emplace_back([&, i] {
                    results[i] = velk_read_flash(sessions[i], kReadAddress, buffers[i].data(), kReadLength);
                });
            for (std::thread &thread : threads)
                thread.join();
            TRun measured{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                          ProcessCpuSeconds() - cpuBefore,
                          {}};
            for (size_t i = 0; i < count; ++i) {
                if (results[i] != VELK_OK)
                    throw std::runtime_error(velk_message(sessions[i]));
                const TBenchTraffic traffic = hosts[i]->Traffic();
                measured.traffic.lineBytes += traffic.lineBytes;
                measured.traffic.memoryBytes += traffic.memoryBytes;
            }
            done.push_back(measured);
        }
    } catch (const std::exception &error) {
        row.error = error.what();
    }
    for (velk_session *session : sessions)
        velk_close(session);
    row.runs = static_cast<int>(done.size());
    if (done.empty())
        return row;
    std::sort(done.begin(), done.end(), [](const TRun &a, const TRun &b) { return a.wall < b.wall; });
    const TRun &median = done[done.size() / 2];
    row.wallSeconds = median.wall;
    row.cpuSeconds = median.cpu;
    // The line figures of one session, so the efficiency column compares alike.
    row.lineBytes = median.traffic.lineBytes / static_cast<long long>(count);
    row.memoryBytes = median.traffic.memoryBytes;
    return row;
}

} // namespace

std::vector<TBenchRow> MeasureSessions(const std::vector<TBenchSimHost *> &hosts, int runs) {
    for (TBenchSimHost *host : hosts)
        host->SetBaud(kPacedBaud);
    std::vector<TBenchRow> rows;
    rows.push_back(Measure(hosts, 1, runs, "read 64 KiB, one session"));
    rows.push_back(Measure(hosts, hosts.size(), runs, "read 64 KiB, four sessions at once"));
    for (TBenchSimHost *host : hosts)
        host->SetBaud(0);
    return rows;
}

std::vector<std::string> MissedSessionTargets(const std::vector<TBenchRow> &rows) {
    std::vector<std::string> missed;
    if (rows.size() != 2 || !rows[0].error.empty() || !rows[1].error.empty() || rows[0].wallSeconds <= 0 ||
        rows[0].cpuSeconds <= 0)
        return missed;
    const double wall = rows[1].wallSeconds / rows[0].wallSeconds;
    const double cpu = rows[1].cpuSeconds / rows[0].cpuSeconds;
    char line[200];
    if (wall > kWallTarget) {
        std::snprintf(line, sizeof line, "four sessions at once: %.3f x the wall time of one (target <= %.2f)", wall,
                      kWallTarget);
        missed.push_back(line);
    }
    if (cpu > kCpuTarget) {
        std::snprintf(line, sizeof line, "four sessions at once: %.2f x the CPU time of one (target <= %.1f)", cpu,
                      kCpuTarget);
        missed.push_back(line);
    }
    return missed;
}
