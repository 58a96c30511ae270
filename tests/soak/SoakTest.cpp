// The soak under faults. The test run holds a short one (about half a
// minute); VELK_SOAK_SECONDS makes it run longer and VELK_SOAK_SEED picks the
// seed (./run soak sets both). A failure names the seed and the operation;
// VELK_SOAK_OPERATIONS=N runs exactly N operations, so a replay of operation
// N-1 stops there.
#include "SoakChecker.h"
#include "SoakProcess.h"
#include "SoakRun.h"

#include "velkmessagequeue.h"
#include "velksimdemo.h"

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
    options.operations = int(FromEnvironment("VELK_SOAK_OPERATIONS", 0));
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

namespace {

struct TSaveCheckCase {
    const char *rule;
    std::vector<velksim::TSimItem> before; // record "alpha" in slot 3
    std::vector<velksim::TSimItem> after;
    bool ok;           // what the save reported
    size_t violations; // what the checker must find
};

// The checks after a save of "alpha"/"x.bin" (0 bytes): a slot is as meant when
// it holds the record with the item saved, whether or not its bytes changed.
TEST(SoakCheckerTest, SaveIsJudgedByWhatTheSlotHolds) {
    using velksim::TSimItem;
    const TSaveCheckCase cases[] = {
        {"a save of what the record holds leaves the slot as meant", {{"x.bin", {}}}, {{"x.bin", {}}}, true, 0},
        {"a save that changed the slot as meant", {{"x.bin", {1, 2}}}, {{"x.bin", {}}}, true, 0},
        {"a success that left an old item", {{"x.bin", {1, 2}}}, {{"x.bin", {1, 2}}}, true, 1},
        {"a failure that left the slot as before", {{"x.bin", {1, 2}}}, {{"x.bin", {1, 2}}}, false, 0},
        {"a failure that wrote something else", {{"x.bin", {1, 2}}}, {{"x.bin", {3}}}, false, 1},
    };
    for (const TSaveCheckCase &c : cases) {
        const std::vector<TSoakBytes> empty(velksim::SlotCount, TSoakBytes(kSoakSlotSize, 0xFF));
        std::vector<TSoakBytes> before = empty, after = empty;
        before[3] = velksim::RecordSlotImage("alpha", c.before);
        after[3] = velksim::RecordSlotImage("alpha", c.after);
        TOp op;
        op.kind = TOpKind::Save;
        op.record = "alpha";
        op.item = "x.bin";
        TOutcome outcome;
        outcome.ok = c.ok;
        const TSoakBytes eeprom(kEepromSize, 0);
        EXPECT_EQ(CheckOperation(op, outcome, before, after, eeprom, eeprom).size(), c.violations) << c.rule;
    }
}

} // namespace
