// TSoakWorld: the decoder simulator on a state folder and the library's
// classes on the calling thread (serial port, link engine with short time-outs,
// transfer engine, record directory), wired as the library wires them. After
// the decoder has hung up, Reopen starts a new simulator on the same state
// folder and opens the port on it again, as a user replugging the cable would.
#pragma once

#include "SoakSlots.h"

#include "velkcport.h"
#include "velkhlprotocol.h"
#include "velkhltransport.h"
#include "velkllprotocol.h"
#include "velkrecords.h"
#include "velksim.h"

#include <memory>
#include <string>
#include <vector>

class TSoakWorld {
public:
    // The link engine's time-outs: short, so that a fault costs little time.
    static constexpr TLLTimeouts kTimeouts{800, 300, 1500};

    explicit TSoakWorld(const std::string &stateFolder);
    ~TSoakWorld();
    TSoakWorld(const TSoakWorld &) = delete;
    TSoakWorld &operator=(const TSoakWorld &) = delete;

    velksim::TDecoderSim &Sim() { return *sim_; }
    velk_LLProtocol &Link() { return link_; }
    velk_HLProtocol &Engine() { return engine_; }
    TRecordTransport &Transport() { return transport_; }
    velk_Records &Records() { return records_; }

    void Reopen();
    int Reopens() const { return reopens_; }
    // Every record slot as the decoder holds it now.
    std::vector<TSoakBytes> Slots() const;

private:
    std::unique_ptr<velksim::TDecoderSim> NewSim(bool fresh) const;
    void OpenPort();

    std::string stateFolder_;
    std::unique_ptr<velksim::TDecoderSim> sim_;
    velk_CPort port_;
    velk_LLProtocol link_;
    velk_HLProtocol engine_;
    THLTransport transport_;
    velk_Records records_;
    int reopens_ = 0;
};
