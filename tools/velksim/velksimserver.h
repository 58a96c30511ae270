// TSimServer: the simulator's loop, run on its own thread. It waits for the
// PC's link packets, answers each DATA packet (ACK when valid, NACK when not),
// assembles transmissions, has TSimDecoder serve each complete request and
// sends the answer back; between requests it sends the transmissions queued
// through the handle. It applies the faults that act per transmission
// (stop answering, hang up).
#pragma once

#include "velksimdecoder.h"
#include "velksimline.h"
#include "velksimlink.h"
#include "velksimreception.h"
#include "velksimshared.h"

#include <memory>

namespace velksim {

class TSimServer {
public:
    TSimServer(TSimLine &line, TSimShared &shared, TSimTiming timing);

    // Serves until stopped (returns) or until the line fails or is hung up
    // (ESimLine).
    void Run();

private:
    void Handle(std::unique_ptr<velk_LLPacket> packet);
    bool Muted();
    bool HangUpDue();

    TSimLine &line_;
    TSimShared &shared_;
    TSimLink link_;
    TSimDecoder decoder_;
    TSimReception reception_;
    std::unique_ptr<velk_LLPacket> next_; // a packet that ended a transmission early
};

} // namespace velksim
