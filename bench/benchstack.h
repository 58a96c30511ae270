// TBenchStack: the library's decoder stack (serial port, link engine, transfer
// engine, record directory) as the library itself builds it, on the calling thread,
// with the link engine's events timed: each link packet's round trip is the
// time from writing it to its ACK (sending), or from one ACK the library wrote
// to the next DATA packet received whole (receiving).
#pragma once

#include "velkdecoderstack.h"
#include "velkhltransport.h"

#include <chrono>
#include <string>
#include <vector>

class TBenchStack {
public:
    using Clock = std::chrono::steady_clock;

    explicit TBenchStack(const std::string &linePath);
    ~TBenchStack();
    TBenchStack(const TBenchStack &) = delete;
    TBenchStack &operator=(const TBenchStack &) = delete;

    velk_HLProtocol &Engine() { return stack_.Transfer(); }
    TRecordTransport &Transport() { return transport_; }
    velk_Records &Records() { return stack_.Records(); }
    // A fresh directory, as a new host session would have.
    void NewRecords() { stack_.NewRecords(); }

    // Round trips in microseconds since the last call; clears them.
    std::vector<double> TakeRoundTrips();

private:
    void OnLinkEvent(int32_t code);

    TDecoderStack stack_;
    THLTransport transport_;
    Clock::time_point mark_{};
    bool marked_ = false;
    std::vector<double> roundTrips_;
};
