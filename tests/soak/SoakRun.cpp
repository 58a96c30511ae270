#include "SoakRun.h"

#include "SoakChecker.h"
#include "SoakFaults.h"
#include "SoakProcess.h"
#include "SoakWorld.h"

#include "velkerror.h"
#include "velkerrorsink.h"
#include "velksimtrace.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using velksim::FlashBase;
using velksim::SlotCount;

// Raw EEPROM writes stay below the slot table.
constexpr uint32_t kEepromScratch = 0x1000;

const char *const kRecordNames[] = {"pictures", "alpha", "beta", "SET"};
const char *const kItemNames[] = {"ini", "boot", "radio", "setup", "slut", "bandeau", "blut", "SET", "x.bin"};

std::atomic<int> g_errorReports{0};
void CountErrorReport(const char *) {
    ++g_errorReports;
}

// Aborts the process with a description when an operation runs past its bound:
// a hang would otherwise only show as the test's time-out.
class TWatchdog {
public:
    TWatchdog() : thread_([this] { Run(); }) {}
    ~TWatchdog() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    void Arm(std::string what, Clock::time_point deadline) {
        std::lock_guard lock(mutex_);
        what_ = std::move(what);
        deadline_ = deadline;
        armed_ = true;
        changed_.notify_all();
    }
    void Disarm() {
        std::lock_guard lock(mutex_);
        armed_ = false;
    }

private:
    void Run() {
        std::unique_lock lock(mutex_);
        while (!stop_) {
            if (!armed_) {
                changed_.wait(lock);
                continue;
            }
            if (changed_.wait_until(lock, deadline_, [this] { return stop_ || !armed_; }))
                continue;
            if (armed_ && Clock::now() >= deadline_) {
                std::fprintf(stderr, "soak: hang: %s\n", what_.c_str());
                std::abort();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::string what_;
    Clock::time_point deadline_{};
    bool armed_ = false;
    bool stop_ = false;
    std::thread thread_;
};

class TRunner {
public:
    TRunner(const TSoakOptions &options, TSoakStats &stats)
        : options_(options), stats_(stats), dice_(options.seed), world_(options.stateFolder) {}

    std::vector<std::string> Run() {
        TWatchdog watchdog;
        const int descriptors = OpenDescriptors();
        const int threads = RunningThreads();
        const Clock::time_point end = Clock::now() + options_.budget;
        for (int index = 0; options_.operations > 0 ? index < options_.operations : Clock::now() < end; ++index) {
            const TSoakProfile profile = DrawProfile(dice_);
            const TOp op = DrawOp();
            context_ = "seed " + std::to_string(options_.seed) + ", operation " + std::to_string(index) + ": " +
                       op.Describe() + " under \"" + profile.name + "\"";
            ++stats_.profiles[profile.name];
            ++stats_.operationKinds[op.KindName()];
            ++stats_.operations;

            world_.Sim().SetFaults(profile.faults);
            const std::vector<TSoakBytes> before = world_.Slots();
            const TSoakBytes eepromBefore = world_.Sim().ReadEeprom(0, kEepromSize);

            const Clock::time_point start = Clock::now();
            watchdog.Arm(context_, start + 2 * TSoakRun::kOperationBound);
            const TOutcome outcome = Perform(op);
            const Clock::time_point finished = Clock::now();
            watchdog.Disarm();
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            if (seconds > stats_.longestSeconds) {
                stats_.longestSeconds = seconds;
                stats_.longest = context_ + (outcome.ok ? ", succeeded" : ", failed: " + outcome.error);
            }
            ++(outcome.ok ? stats_.succeeded : stats_.failed);

            std::vector<std::string> problems;
            if (seconds > double(TSoakRun::kOperationBound.count()))
                problems.push_back("it took " + std::to_string(seconds) + " s");
            if (world_.Engine().IsBusy() || world_.Link().State() != llsIdle)
                problems.push_back("the library is still busy after it");
            // Whatever the decoder was still doing for this operation ends first.
            if (!world_.Sim().WaitIdle(std::chrono::seconds(20)))
                problems.push_back("the simulator never came to rest");
            if (!world_.Sim().IsServing()) {
                // A line that dies under an exchange ends it at once, not on a time-out.
                const auto late = finished - world_.Sim().StoppedAt();
                if (profile.faults.hangUpAfterBytes >= 0 && late > TSoakRun::kHangUpBound)
                    problems.push_back("it ended " + std::to_string(std::chrono::duration<double>(late).count()) +
                                       " s after the line was hung up");
                world_.Reopen();
                ++stats_.reopens;
            }
            const std::vector<TSoakBytes> after = world_.Slots();
            const TSoakBytes eepromAfter = world_.Sim().ReadEeprom(0, kEepromSize);
            bool shortRead = false;
            for (const std::string &problem :
                 CheckOperation(op, outcome, before, after, eepromBefore, eepromAfter, &shortRead))
                problems.push_back(problem);
            stats_.shortReads += shortRead ? 1 : 0;
            if (OpenDescriptors() != descriptors)
                problems.push_back("open descriptors: " + std::to_string(OpenDescriptors()) + " instead of " +
                                   std::to_string(descriptors));
            if (!problems.empty())
                return Report(problems, outcome);
        }

        std::vector<std::string> problems = FinalCheck();
        if (RunningThreads() != threads)
            problems.push_back("threads: " + std::to_string(RunningThreads()) + " instead of " +
                               std::to_string(threads));
        if (!problems.empty()) {
            context_ = "seed " + std::to_string(options_.seed) + ", final check on a sound line";
            return Report(problems, {});
        }
        return {};
    }

private:
    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(dice_); }

    TSoakBytes RandomBytes(size_t n) {
        TSoakBytes bytes(n);
        for (uint8_t &b : bytes)
            b = uint8_t(dice_());
        return bytes;
    }

    size_t DrawSize() {
        const int band = Between(0, 99);
        if (band < 5)
            return 0;
        if (band < 55)
            return size_t(Between(1, 300));
        if (band < 90)
            return size_t(Between(301, 6000));
        return size_t(Between(6001, 24000));
    }

    TOp DrawOp() {
        TOp op;
        const int kind = Between(0, 99);
        op.record = kRecordNames[Between(0, 3)];
        op.item = kItemNames[Between(0, 8)];
        if (kind < 36) {
            op.kind = TOpKind::Save;
            op.data = RandomBytes(DrawSize());
        } else if (kind < 56) {
            op.kind = TOpKind::Load;
        } else if (kind < 64) {
            op.kind = TOpKind::Refresh;
        } else if (kind < 68) {
            op.kind = TOpKind::FullRefresh;
        } else if (kind < 76) {
            op.kind = TOpKind::FlashWrite;
            op.data = RandomBytes(size_t(Between(1, 20000)));
            op.data[0] = 0xFF; // the slot stays a slot not in use
            if (op.data.size() > 1)
                op.data[1] = 0xFF;
            op.address = velksim::SlotAddress(kRawSlot);
        } else if (kind < 84) {
            op.kind = TOpKind::FlashRead;
            op.length = uint32_t(Between(1, 16384));
            op.address = FlashBase + uint32_t(Between(0, int(velksim::FlashSize - op.length)));
        } else if (kind < 92) {
            op.kind = TOpKind::EepromWrite;
            op.data = RandomBytes(size_t(Between(1, 512)));
            op.address = uint32_t(Between(0, int(kEepromScratch - op.data.size())));
        } else {
            op.kind = TOpKind::EepromRead;
            op.length = uint32_t(Between(1, int(kEepromSize)));
            op.address = uint32_t(Between(0, int(kEepromSize - op.length)));
        }
        return op;
    }

    TOutcome Perform(const TOp &op) {
        TOutcome outcome;
        velk_Records &records = world_.Records();
        TRecordTransport &transport = world_.Transport();
        velk_HLProtocol &engine = world_.Engine();
        auto received = [&] {
            const TBuffer &buffer = engine.GetBuffer();
            outcome.data.assign(buffer.Memory(), buffer.Memory() + buffer.Size());
        };
        try {
            switch (op.kind) {
            case TOpKind::Save: {
                TBuffer buffer(0);
                buffer.SetData(op.data.data(), int32_t(op.data.size()));
                records.SaveItem(transport, op.record, op.item, buffer);
                outcome.ok = true;
                break;
            }
            case TOpKind::Load: {
                TBuffer buffer(0);
                records.LoadItem(transport, op.record, op.item, buffer);
                outcome.data.assign(buffer.Memory(), buffer.Memory() + buffer.Size());
                outcome.ok = true;
                break;
            }
            case TOpKind::Refresh:
            case TOpKind::FullRefresh:
                records.Refresh(transport, op.kind == TOpKind::FullRefresh);
                outcome.ok = true;
                break;
            case TOpKind::FlashWrite:
                engine.SendFlash(op.data.data(), op.address, int32_t(op.data.size()));
                outcome.ok = engine.WaitFor();
                break;
            case TOpKind::FlashRead:
                engine.ReadFlash(op.address, int32_t(op.length));
                outcome.ok = engine.WaitFor();
                received();
                break;
            case TOpKind::EepromWrite:
                engine.SendEeprom(op.data.data(), op.address, int32_t(op.data.size()));
                outcome.ok = engine.WaitFor();
                break;
            case TOpKind::EepromRead:
                engine.ReadEeprom(op.address, int32_t(op.length));
                outcome.ok = engine.WaitFor();
                received();
                break;
            }
        } catch (const EVelk &error) {
            outcome.ok = false;
            outcome.error = error.Message();
        }
        return outcome;
    }

    // On a sound line the library must find every record the decoder holds
    // and load every item byte for byte.
    std::vector<std::string> FinalCheck() {
        std::vector<std::string> problems;
        world_.Sim().ClearFaults();
        try {
            world_.Records().Refresh(world_.Transport(), true);
            const std::vector<TSoakBytes> slots = world_.Slots();
            for (int32_t slot = 0; slot < kRecordSlots; ++slot) {
                const TSoakRecord record = ParseSlot(slots[size_t(slot)]);
                if (!record.inUse || !record.valid)
                    continue;
                for (const TSoakItem &item : record.items) {
                    TBuffer buffer(0);
                    world_.Records().LoadItem(world_.Transport(), record.name, item.name, buffer);
                    if (TSoakBytes(buffer.Memory(), buffer.Memory() + buffer.Size()) != item.data)
                        problems.push_back("item " + record.name + "/" + item.name + " loads other bytes");
                }
            }
        } catch (const EVelk &error) {
            problems.push_back("on a sound line: " + error.Message());
        }
        return problems;
    }

    std::vector<std::string> Report(const std::vector<std::string> &problems, const TOutcome &outcome) {
        std::vector<std::string> lines;
        for (const std::string &problem : problems)
            lines.push_back(context_ + ": " + problem);
        if (!outcome.error.empty())
            lines.push_back("  the library said: " + outcome.error);
        const auto trace = world_.Sim().Trace();
        const size_t from = trace.size() > 40 ? trace.size() - 40 : 0;
        for (size_t i = from; i < trace.size(); ++i)
            lines.push_back("  simulator: " + velksim::TraceLine(trace[i]));
        return lines;
    }

    const TSoakOptions &options_;
    TSoakStats &stats_;
    std::mt19937_64 dice_;
    TSoakWorld world_;
    std::string context_;
};

} // namespace

TSoakRun::TSoakRun(TSoakOptions options) : options_(std::move(options)) {}

std::vector<std::string> TSoakRun::Run() {
    g_errorReports = 0;
    const TErrorSink previous = SetErrorSink(CountErrorReport);
    std::vector<std::string> problems;
    {
        TRunner runner(options_, stats_);
        problems = runner.Run();
    }
    SetErrorSink(previous);
    stats_.errorReports = g_errorReports;
    return problems;
}

std::string TSoakRun::Summary() const {
    std::ostringstream text;
    text << "soak: seed " << options_.seed << ", " << stats_.operations << " operations (" << stats_.succeeded
         << " succeeded, " << stats_.failed << " failed, " << stats_.shortReads << " reads of the wrong size seen), "
         << stats_.reopens << " reopens after a hang-up, " << stats_.errorReports
         << " errors reported by the library\n  longest operation " << stats_.longestSeconds << " s: " << stats_.longest
         << "\n  profiles:";
    for (const auto &[name, count] : stats_.profiles)
        text << " " << name << " " << count << ",";
    text << "\n  operations:";
    for (const auto &[name, count] : stats_.operationKinds)
        text << " " << name << " " << count << ",";
    return text.str();
}
