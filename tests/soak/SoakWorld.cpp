#include "SoakWorld.h"

#include "velkerror.h"

TSoakWorld::TSoakWorld(const std::string &stateFolder)
    : stateFolder_(stateFolder), sim_(NewSim(true)), link_(port_, {}, kTimeouts), engine_(link_), transport_(engine_),
      records_(velksim::FlashBase, velksim::SlotCount) {
    OpenPort();
}

TSoakWorld::~TSoakWorld() {
    try {
        port_.Close();
    } catch (const EVelk &) {
    }
}

std::unique_ptr<velksim::TDecoderSim> TSoakWorld::NewSim(bool fresh) const {
    velksim::TSimConfig config;
    config.stateFolder = stateFolder_;
    config.resetState = fresh;
    config.traceLimit = 400;
    // The decoder gives up on the PC sooner than a real one, like the PC does.
    config.timing.answerTimeout = std::chrono::milliseconds(1000);
    config.timing.completionTimeout = std::chrono::milliseconds(300);
    return std::make_unique<velksim::TDecoderSim>(config);
}

void TSoakWorld::OpenPort() {
    port_.SetPort(sim_->LinePath());
    port_.Open();
}

void TSoakWorld::Reopen() {
    try {
        port_.Close();
    } catch (const EVelk &) {
        // A port whose line has gone may report its close; it is closed all the same.
    }
    sim_.reset();
    sim_ = NewSim(false);
    OpenPort();
    ++reopens_;
}

std::vector<TSoakBytes> TSoakWorld::Slots() const {
    std::vector<TSoakBytes> slots;
    for (int32_t slot = 0; slot < velksim::SlotCount; ++slot)
        slots.push_back(sim_->ReadSlot(slot));
    return slots;
}
