#include "SoakRun.h"

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

// Slot 29 is the demo decoder's reserved slot: never admitted, so records never
// live there; raw flash writes go there.
constexpr int32_t kRawSlot = 29;
constexpr int32_t kRecordSlots = 29;
// Raw EEPROM writes stay below the slot table.
constexpr uint32_t kEepromScratch = 0x1000;
constexpr uint32_t kEepromSize = 8192;

const char *const kRecordNames[] = {"pictures", "alpha", "beta", "SET"};
const char *const kItemNames[] = {"ini", "boot", "radio", "setup", "slut", "bandeau", "blut", "SET", "x.bin"};

std::atomic<int> g_errorReports{0};
void CountErrorReport(const char *) { ++g_errorReports; }

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

enum class TOpKind { Save, Load, Refresh, FullRefresh, FlashWrite, FlashRead, EepromWrite, EepromRead };

struct TOp {
    TOpKind kind = TOpKind::Save;
    std::string record;
    std::string item;
    TSoakBytes data;
    uint32_t address = 0;
    uint32_t length = 0;

    std::string Describe() const {
        std::ostringstream text;
        switch (kind) {
        case TOpKind::Save:
            text << "save " << record << "/" << item << " (" << data.size() << " bytes)";
            break;
        case TOpKind::Load:
            text << "load " << record << "/" << item;
            break;
        case TOpKind::Refresh:
            text << "partial refresh";
            break;
        case TOpKind::FullRefresh:
            text << "full refresh";
            break;
        case TOpKind::FlashWrite:
            text << "flash write of " << data.size() << " bytes at slot " << kRawSlot;
            break;
        case TOpKind::FlashRead:
            text << "flash read of " << length << " bytes at 0x" << std::hex << address;
            break;
        case TOpKind::EepromWrite:
            text << "EEPROM write of " << data.size() << " bytes at 0x" << std::hex << address;
            break;
        case TOpKind::EepromRead:
            text << "EEPROM read of " << length << " bytes at 0x" << std::hex << address;
            break;
        }
        return text.str();
    }
    std::string KindName() const {
        static const char *const names[] = {"save",        "load",       "partial refresh", "full refresh",
                                            "flash write", "flash read", "EEPROM write",    "EEPROM read"};
        return names[int(kind)];
    }
};

struct TOutcome {
    bool ok = false;
    TSoakBytes data;   // what a load or read brought
    std::string error; // the library's message of a failure
};

// Everything the checks of one operation need, and the violations they find.
// "name{item:size,...}" for a report.
std::string Contents(const TSoakRecord &record) {
    if (!record.inUse)
        return "(free)";
    std::string text = record.name + (record.valid ? "" : " (invalid)") + (record.tight ? "" : " (loose)") + "{";
    for (const TSoakItem &item : record.items)
        text += item.name + ":" + std::to_string(item.data.size()) + " ";
    return text + "}";
}

class TChecker {
public:
    TChecker(const TOp &op, const TOutcome &outcome, const std::vector<TSoakBytes> &before,
             const std::vector<TSoakBytes> &after, const TSoakBytes &eepromBefore, const TSoakBytes &eepromAfter)
        : op_(op), outcome_(outcome), before_(before), after_(after), eepromBefore_(eepromBefore),
          eepromAfter_(eepromAfter) {}

    std::vector<std::string> Check() {
        CheckSlotsSound();
        switch (op_.kind) {
        case TOpKind::Save:
            CheckSave();
            break;
        case TOpKind::Load:
            CheckUnchanged(-1);
            CheckLoad();
            break;
        case TOpKind::FlashWrite:
            CheckUnchanged(kRawSlot);
            CheckRawWrite(before_[kRawSlot], after_[kRawSlot], 0);
            break;
        case TOpKind::FlashRead:
            CheckUnchanged(-1);
            CheckRead(FlashRange(op_.address - FlashBase, op_.length));
            break;
        case TOpKind::EepromRead:
            CheckUnchanged(-1);
            CheckRead(TSoakBytes(eepromBefore_.begin() + op_.address,
                                 eepromBefore_.begin() + op_.address + op_.length));
            break;
        default:
            CheckUnchanged(-1);
            break;
        }
        if (op_.kind == TOpKind::EepromWrite)
            CheckRawWrite(eepromBefore_, eepromAfter_, op_.address);
        else if (eepromAfter_ != eepromBefore_)
            Violation("the EEPROM changed");
        return violations_;
    }

    bool ShortRead() const { return shortRead_; }

private:
    void Violation(const std::string &text) { violations_.push_back(text); }

    TSoakBytes FlashRange(uint32_t offset, uint32_t length) const {
        TSoakBytes bytes;
        for (uint32_t at = offset; at < offset + length; ++at)
            bytes.push_back(before_[at / kSoakSlotSize][at % kSoakSlotSize]);
        return bytes;
    }

    // Every record slot in use is valid, and no two admitted records share a name.
    void CheckSlotsSound() {
        std::map<std::string, int> names;
        for (int32_t slot = 0; slot < kRecordSlots; ++slot) {
            const TSoakRecord record = ParseSlot(after_[size_t(slot)]);
            if (record.inUse && !record.valid)
                Violation("slot " + std::to_string(slot) + " holds an invalid record");
            if (record.inUse && record.valid && ++names[record.name] == 2)
                Violation("two records named " + record.name);
        }
    }

    void CheckUnchanged(int32_t except) {
        for (int32_t slot = 0; slot < SlotCount; ++slot)
            if (slot != except && after_[size_t(slot)] != before_[size_t(slot)])
                Violation("slot " + std::to_string(slot) + " changed");
    }

    int32_t FindRecord(const std::vector<TSoakBytes> &slots, const std::string &name) const {
        for (int32_t slot = 0; slot < kRecordSlots; ++slot) {
            const TSoakRecord record = ParseSlot(slots[size_t(slot)]);
            if (record.inUse && record.valid && record.name == name)
                return slot;
        }
        return -1;
    }

    // The slot holds what the save meant to write, written as the library
    // writes: the body tight, the reserved header bytes kept (zero in a new record).
    bool HoldsIntended(int32_t slot, const TSoakRecord &intended, bool existed) const {
        const TSoakBytes &now = after_[size_t(slot)];
        const TSoakRecord record = ParseSlot(now);
        const bool reservedKept =
            existed ? std::equal(now.begin() + 2, now.begin() + 64, before_[size_t(slot)].begin() + 2)
                    : std::all_of(now.begin() + 2, now.begin() + 64, [](uint8_t b) { return b == 0; });
        return record.valid && record.tight && record.SameContent(intended) && reservedKept;
    }

    void CheckSave() {
        int32_t target = FindRecord(before_, op_.record);
        const bool existed = target >= 0;
        std::vector<int32_t> changed;
        for (int32_t slot = 0; slot < SlotCount; ++slot)
            if (after_[size_t(slot)] != before_[size_t(slot)])
                changed.push_back(slot);
        if (!existed && changed.size() == 1)
            target = changed[0];
        for (int32_t slot : changed)
            if (slot != target)
                Violation("slot " + std::to_string(slot) + " changed, not the record's");
        if (target < 0) {
            if (outcome_.ok)
                Violation("the save succeeded but no slot changed");
            return;
        }
        const TSoakRecord old = ParseSlot(before_[size_t(target)]);
        if (!existed && old.inUse)
            Violation("the new record took slot " + std::to_string(target) + ", which was in use");
        const TSoakRecord intended =
            WithItemSaved(existed ? old : TSoakRecord{}, op_.record, op_.item, op_.data);
        const bool unchanged = after_[size_t(target)] == before_[size_t(target)];
        const bool asIntended = !unchanged && HoldsIntended(target, intended, existed);
        const std::string contents = "; before " + Contents(old) + ", meant " + Contents(intended) + ", now " +
                                     Contents(ParseSlot(after_[size_t(target)]));
        if (outcome_.ok && !asIntended)
            Violation("the save succeeded but slot " + std::to_string(target) + " does not hold what it meant" +
                      contents);
        if (!outcome_.ok && !unchanged && !asIntended)
            Violation("the save failed and left slot " + std::to_string(target) +
                      " neither as before nor as meant" + contents);
    }

    void CheckLoad() {
        if (!outcome_.ok)
            return;
        const int32_t slot = FindRecord(before_, op_.record);
        if (slot < 0) {
            Violation("the load succeeded, but the decoder has no such record");
            return;
        }
        const TSoakRecord record = ParseSlot(before_[size_t(slot)]);
        const int index = record.FindItem(op_.item);
        if (index < 0)
            Violation("the load succeeded, but the record has no single item of that name");
        else if (outcome_.data != record.items[size_t(index)].data)
            Violation("the load brought other bytes than the item's");
    }

    // A write from offset at: success means the bytes are there and nothing else
    // changed; failure allows only before or as meant.
    void CheckRawWrite(const TSoakBytes &before, const TSoakBytes &after, uint32_t at) {
        TSoakBytes intended = before;
        std::copy(op_.data.begin(), op_.data.end(), intended.begin() + at);
        if (outcome_.ok && after != intended)
            Violation("the write succeeded but memory does not hold the bytes");
        if (!outcome_.ok && after != before && after != intended)
            Violation("the write failed and left memory neither as before nor as meant");
    }

    void CheckRead(const TSoakBytes &expected) {
        if (!outcome_.ok)
            return;
        if (outcome_.data.size() != expected.size()) {
            shortRead_ = true; // the caller sees the size and rejects it
            return;
        }
        if (outcome_.data != expected)
            Violation("the read succeeded with other bytes than memory holds");
    }

    const TOp &op_;
    const TOutcome &outcome_;
    const std::vector<TSoakBytes> &before_;
    const std::vector<TSoakBytes> &after_;
    const TSoakBytes &eepromBefore_;
    const TSoakBytes &eepromAfter_;
    std::vector<std::string> violations_;
    bool shortRead_ = false;
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
        for (int index = 0; Clock::now() < end; ++index) {
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
                world_.Reopen();
                ++stats_.reopens;
            }
            const std::vector<TSoakBytes> after = world_.Slots();
            const TSoakBytes eepromAfter = world_.Sim().ReadEeprom(0, kEepromSize);
            TChecker checker(op, outcome, before, after, eepromBefore, eepromAfter);
            for (const std::string &problem : checker.Check())
                problems.push_back(problem);
            stats_.shortReads += checker.ShortRead() ? 1 : 0;
            if (OpenDescriptors() != descriptors)
                problems.push_back("open descriptors: " + std::to_string(OpenDescriptors()) +
                                   " instead of " + std::to_string(descriptors));
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
