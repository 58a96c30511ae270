#include "velksim.h"

#include "velksimdemo.h"
#include "velksimerror.h"
#include "velksimline.h"
#include "velksimserver.h"
#include "velksimshared.h"

#include "velkformat.h"

#include <atomic>
#include <thread>

namespace velksim {

struct TDecoderSim::TState {
    explicit TState(const TSimConfig &config) : shared(config.traceLimit, config.onTrace) {}

    TSimShared shared;
    std::unique_ptr<TSimLine> line;
    std::thread thread;
    std::mutex joining;
    std::atomic<bool> hangUpRequested{false};
};

namespace {

void ApplyFaults(TSimShared &shared, const TSimFaults &faults) {
    shared.faults = faults;
    shared.dice.Reseed(faults.seed);
    shared.transmissionsSinceFaults = 0;
    shared.nacksLeft = faults.nackNext;
}

void Serve(TSimShared &shared, TSimLine &line, TSimTiming timing, const std::atomic<bool> &hangUpRequested) {
    std::string reason;
    try {
        TSimServer server(line, shared, timing);
        server.Run();
    } catch (const TSimStopped &) {
        if (hangUpRequested.load()) {
            line.HangUp();
            reason = "the line was hung up";
        }
    } catch (const std::exception &error) {
        line.HangUp();
        reason = error.what();
    }
    if (!reason.empty())
        shared.Note("stopped: " + reason);
    std::lock_guard lock(shared.mutex);
    shared.running = false;
    shared.endReason = reason;
    shared.endedAt = std::chrono::steady_clock::now();
    shared.changed.notify_all();
}

// Changes memory under the lock and saves what changed to the state folder.
template <typename Edit> void Change(TSimShared &shared, void (TSimStateFolder::*save)(const TSimMemory &), Edit edit) {
    std::lock_guard lock(shared.mutex);
    edit(shared.memory);
    if (shared.folder)
        ((*shared.folder).*save)(shared.memory);
}

void CheckSlot(int32_t slot) {
    if (slot < 0 || slot >= SlotCount)
        throw ESimRange(Format("No record slot %d; slots are 0 to %d", slot, SlotCount - 1));
}

} // namespace

TDecoderSim::TDecoderSim(TSimConfig config) : state_(std::make_unique<TState>(config)) {
    TSimShared &shared = state_->shared;
    if (!config.stateFolder.empty()) {
        shared.folder.emplace(config.stateFolder);
        if (config.resetState)
            shared.folder->Reset(shared.memory);
        else if (shared.folder->Load(shared.memory))
            shared.Note("state folder " + config.stateFolder + " started with the demo decoder");
    } else if (config.demoState) {
        FillDemoState(shared.memory);
    }
    ApplyFaults(shared, config.faults);
    shared.transferLayer = config.transferLayer;
    state_->line = std::make_unique<TSimLine>(config.device, config.linkPath, config.baud);
    TSimLine &line = *state_->line;
    line.SetHangUpAfterBytes(config.faults.hangUpAfterBytes);
    line.Adapter().SetLatencyMs(config.adapterLatencyMs);
    line.SetOpenListener([&shared](bool opened) {
        {
            std::lock_guard lock(shared.mutex);
            ++(opened ? shared.counters.lineOpens : shared.counters.lineCloses);
        }
        shared.Note(opened ? "the PC opened the line" : "the PC closed the line");
    });
    shared.Note("serving on " + line.Path());
    state_->thread =
        std::thread(Serve, std::ref(shared), std::ref(line), config.timing, std::cref(state_->hangUpRequested));
}

TDecoderSim::~TDecoderSim() {
    Stop();
}

std::string TDecoderSim::LinePath() const {
    return state_->line->Path();
}

std::string TDecoderSim::DevicePath() const {
    return state_->line->DevicePath();
}

int32_t TDecoderSim::Baud() const {
    return state_->line->Pacer().Baud();
}

void TDecoderSim::SetAdapterLatency(int32_t ms) {
    if (state_->line)
        state_->line->Adapter().SetLatencyMs(ms);
}

int32_t TDecoderSim::AdapterLatency() const {
    return state_->line->Adapter().LatencyMs();
}

void TDecoderSim::SetBaud(int32_t baud) {
    if (state_->line->IsPseudoTerminal())
        state_->line->Pacer().SetBaud(baud);
}

bool TDecoderSim::IsServing() const {
    std::lock_guard lock(state_->shared.mutex);
    return state_->shared.running;
}

std::chrono::steady_clock::time_point TDecoderSim::StoppedAt() const {
    std::lock_guard lock(state_->shared.mutex);
    return state_->shared.endedAt;
}

std::string TDecoderSim::EndReason() const {
    std::lock_guard lock(state_->shared.mutex);
    return state_->shared.endReason;
}

void TDecoderSim::Stop() {
    std::lock_guard lock(state_->joining);
    state_->line->RequestStop();
    if (state_->thread.joinable())
        state_->thread.join();
}

void TDecoderSim::HangUp() {
    state_->hangUpRequested.store(true);
    Stop();
    // Also when serving had already ended for another reason.
    state_->line->HangUp();
}

bool TDecoderSim::WaitStopped(std::chrono::milliseconds timeout) {
    TSimShared &shared = state_->shared;
    std::unique_lock lock(shared.mutex);
    return shared.changed.wait_for(lock, timeout, [&] { return !shared.running; });
}

bool TDecoderSim::WaitIdle(std::chrono::milliseconds timeout) const {
    // Bytes the PC has just written reach the simulator's side of a
    // pseudo-terminal a moment later (the kernel hands them over on a worker of
    // its own), so they are given that moment before the first look.
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::this_thread::sleep_for(std::min(IdleSettle, timeout));
    TSimShared &shared = state_->shared;
    const TSimLine &line = *state_->line;
    std::unique_lock lock(shared.mutex);
    return shared.changed.wait_until(lock, deadline, [&] {
        return !shared.running || (shared.idle && shared.outbox.empty() && line.PendingInput() == 0);
    });
}

std::vector<uint8_t> TDecoderSim::ReadFlash(uint32_t address, uint32_t length) const {
    std::lock_guard lock(state_->shared.mutex);
    return state_->shared.memory.ReadFlash(address, length);
}

void TDecoderSim::WriteFlash(uint32_t address, std::span<const uint8_t> bytes) {
    Change(state_->shared, &TSimStateFolder::SaveFlash, [&](TSimMemory &memory) { memory.WriteFlash(address, bytes); });
}

std::vector<uint8_t> TDecoderSim::ReadSlot(int32_t slot) const {
    CheckSlot(slot);
    return ReadFlash(SlotAddress(slot), SlotSize);
}

void TDecoderSim::WriteSlot(int32_t slot, std::span<const uint8_t> bytes) {
    CheckSlot(slot);
    if (bytes.size() > SlotSize)
        throw ESimRange(Format("%u bytes do not fit a record slot", uint32_t(bytes.size())));
    std::vector<uint8_t> image(SlotSize, Erased);
    std::copy(bytes.begin(), bytes.end(), image.begin());
    WriteFlash(SlotAddress(slot), image);
}

std::vector<uint8_t> TDecoderSim::ReadEeprom(uint32_t address, uint32_t length) const {
    std::lock_guard lock(state_->shared.mutex);
    return state_->shared.memory.ReadEeprom(address, length);
}

void TDecoderSim::WriteEeprom(uint32_t address, std::span<const uint8_t> bytes) {
    Change(state_->shared, &TSimStateFolder::SaveEeprom,
           [&](TSimMemory &memory) { memory.WriteEeprom(address, bytes); });
}

std::vector<uint8_t> TDecoderSim::Firmware() const {
    std::lock_guard lock(state_->shared.mutex);
    return state_->shared.memory.Firmware();
}

void TDecoderSim::EraseFlash() {
    Change(state_->shared, &TSimStateFolder::SaveFlash, [](TSimMemory &memory) { memory.EraseFlash(); });
}

void TDecoderSim::ResetToDemo() {
    TSimShared &shared = state_->shared;
    std::lock_guard lock(shared.mutex);
    if (shared.folder) {
        shared.folder->Reset(shared.memory);
    } else {
        FillDemoState(shared.memory);
        shared.memory.SetFirmware({});
    }
}

void TDecoderSim::ResetSync() {
    std::lock_guard lock(state_->shared.mutex);
    state_->shared.synchronised = false;
}

TSimCounters TDecoderSim::Counters() const {
    std::lock_guard lock(state_->shared.mutex);
    return state_->shared.counters;
}

void TDecoderSim::ResetCounters() {
    std::lock_guard lock(state_->shared.mutex);
    state_->shared.counters = {};
}

std::vector<TSimTraceEntry> TDecoderSim::Trace() const {
    return state_->shared.trace.Entries();
}

void TDecoderSim::ClearTrace() {
    state_->shared.trace.Clear();
}

std::vector<uint8_t> TDecoderSim::LastTransmission() const {
    std::lock_guard lock(state_->shared.mutex);
    return state_->shared.lastTransmission;
}

TSimFaults TDecoderSim::Faults() const {
    std::lock_guard lock(state_->shared.mutex);
    return state_->shared.faults;
}

void TDecoderSim::SetFaults(const TSimFaults &faults) {
    std::lock_guard lock(state_->shared.mutex);
    ApplyFaults(state_->shared, faults);
    state_->line->SetHangUpAfterBytes(faults.hangUpAfterBytes);
}

void TDecoderSim::ClearFaults() {
    SetFaults({});
}

void TDecoderSim::SetTransferLayer(bool serve) {
    std::lock_guard lock(state_->shared.mutex);
    state_->shared.transferLayer = serve;
}

void TDecoderSim::Send(std::vector<uint8_t> transmission) {
    {
        std::lock_guard lock(state_->shared.mutex);
        state_->shared.outbox.push_back(std::move(transmission));
    }
    state_->line->Wake();
}

} // namespace velksim
