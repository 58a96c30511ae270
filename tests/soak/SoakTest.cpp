// The soak under faults. The test run holds a short one (about half a
// minute); VELK_SOAK_SECONDS makes it run longer and VELK_SOAK_SEED picks the
// seed (./run soak sets both). A failure names the seed and the operation.
#include "SoakProcess.h"
#include "SoakRun.h"

#include "velkmessagequeue.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

namespace {

uint64_t FromEnvironment(const char *name, uint64_t fallback) {
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::strtoull(value, nullptr, 0) : fallback;
}

} // namespace

TEST(SoakTest, RecordsAndTransfersSurviveEveryFault) {
    TSoakOptions options;
    options.seed = FromEnvironment("VELK_SOAK_SEED", 20261207);
    options.budget = std::chrono::seconds(FromEnvironment("VELK_SOAK_SECONDS", 30));
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("velk-soak-" + std::to_string(::getpid()));
    options.stateFolder = folder.string();
    std::filesystem::create_directories(folder);

    TMessageQueue::Current(); // this thread's queue lives as long as the thread
    // A sanitizer's runtime starts a helper thread of its own with the first
    // thread of the process; it is there before the count, not after.
    std::thread([] {}).join();
    const int threads = RunningThreads();
    const int descriptors = OpenDescriptors();
    std::vector<std::string> problems;
    {
        TSoakRun run(options);
        problems = run.Run();
        std::printf("%s\n", run.Summary().c_str());
        EXPECT_GT(run.Stats().succeeded, 0);
        EXPECT_GT(run.Stats().failed, 0);
    }
    for (const std::string &line : problems)
        ADD_FAILURE() << line;
    // Nothing left behind: every thread ended, every descriptor closed.
    EXPECT_EQ(RunningThreads(), threads);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    std::filesystem::remove_all(folder);
}
