// TBenchStack: the library's classes as the library itself wires them (serial
// port, link engine, transfer engine, record directory), on the calling thread,
// with the link engine's events timed: each link packet's round trip is the
// time from writing it to its ACK (sending), or from one ACK the library wrote
// to the next DATA packet received whole (receiving).
#pragma once

#include "velkcport.h"
#include "velkhlprotocol.h"
#include "velkhltransport.h"
#include "velkllprotocol.h"
#include "velkrecords.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class TBenchStack {
public:
    using Clock = std::chrono::steady_clock;

    explicit TBenchStack(const std::string &linePath);
    ~TBenchStack();
    TBenchStack(const TBenchStack &) = delete;
    TBenchStack &operator=(const TBenchStack &) = delete;

    velk_HLProtocol &Engine() { return engine_; }
    TRecordTransport &Transport() { return transport_; }
    // A record directory as Initialize makes it (30 slots from 0x34020000).
    velk_Records &Records() { return *records_; }
    // A fresh directory, as a new host session would have.
    void NewRecords();

    // Round trips in microseconds since the last call; clears them.
    std::vector<double> TakeRoundTrips();

private:
    void OnLinkEvent(int32_t code);

    velk_CPort port_;
    velk_LLProtocol link_;
    velk_HLProtocol engine_;
    THLTransport transport_;
    std::unique_ptr<velk_Records> records_;
    Clock::time_point mark_{};
    bool marked_ = false;
    std::vector<double> roundTrips_;
};
