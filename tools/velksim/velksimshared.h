// TSimShared: the state the simulator's thread shares with the handle that tests
// and the program hold: the decoder's memory and state folder, counters, fault
// settings and dice, the transmissions waiting to be sent, and whether the
// simulator is idle. Everything but the trace is guarded by mutex; the trace
// has its own lock.
#pragma once

#include "velksimcounters.h"
#include "velksimfaults.h"
#include "velksimmemory.h"
#include "velksimstate.h"
#include "velksimtrace.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velksim {

struct TSimShared {
    using Clock = std::chrono::steady_clock;

    TSimShared(size_t traceLimit, TSimTrace::TListener listener) : trace(traceLimit, std::move(listener)) {}

    // Adds a trace entry stamped with the time since start (no lock needed).
    void Note(TSimTraceKind kind, uint32_t code, bool valid, std::string text) {
        std::chrono::duration<double> since = Clock::now() - started;
        trace.Add({since.count(), kind, code, valid, std::move(text)});
    }
    void Note(std::string text) { Note(TSimTraceKind::Note, 0, true, std::move(text)); }

    const Clock::time_point started = Clock::now();
    TSimTrace trace;

    mutable std::mutex mutex;
    std::condition_variable changed; // idle or running changed
    TSimMemory memory;
    std::optional<TSimStateFolder> folder;
    TSimCounters counters;
    TSimFaults faults;
    TSimDice dice;
    int32_t transmissionsSinceFaults = 0; // for stopAfter and hangUpAfterTransmissions
    int32_t nacksLeft = 0;                // what is left of faults.nackNext
    bool synchronised = false;            // a SYNC has been answered since start
    bool transferLayer = true;            // false: link only, requests are not answered
    std::deque<std::vector<uint8_t>> outbox;
    std::vector<uint8_t> lastTransmission;
    bool idle = false;
    bool running = true;
    std::string endReason;
    std::chrono::steady_clock::time_point endedAt{}; // when running became false
};

} // namespace velksim
