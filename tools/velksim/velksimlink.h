// TSimLink: the decoder's side of the link layer on a TSimLine. It assembles
// the PC's link packets from the byte stream (skipping noise), answers, and
// sends the decoder's own transmissions as DATA packets of at most 2032
// payload bytes, one at a time, each waiting for the PC's ACK or NACK. It also
// injects the line faults of TSimFaults into what it sends and receives.
// Used only by the simulator's thread.
#pragma once

#include "velksimline.h"
#include "velksimshared.h"
#include "velksimtiming.h"

#include "velkllpacket.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velksim {

class TSimLink {
public:
    using Clock = std::chrono::steady_clock;

    struct TReceived {
        std::unique_ptr<velk_LLPacket> packet; // complete, valid or not; null on time-out or wake
        bool woken = false;
    };

    TSimLink(TSimLine &line, TSimShared &shared, TSimTiming timing);
    ~TSimLink();

    // Waits for the next complete packet until the deadline. An incomplete packet
    // is invalidated once its completion time is over, and returned when it had
    // at least 4 bytes (its length). With stopOnWake, a wake-up while no packet
    // has begun returns at once (woken). Marks the simulator idle while it waits
    // for a packet to begin with nothing left to read.
    TReceived ReceivePacket(Clock::time_point deadline, bool stopOnWake);

    // Answers a DATA packet with a 12-byte ACK or NACK, or a NACK with a reason.
    void SendAnswer(uint16_t type, const std::string &reason = {});

    // Sends one transmission and waits for each packet's answer. Returns a DATA
    // packet from the PC that arrived instead of an answer (the PC has moved
    // on; the transmission is abandoned and the packet is the caller's to handle).
    std::unique_ptr<velk_LLPacket> SendTransmission(const std::vector<uint8_t> &bytes);

private:
    void SendPacket(const velk_LLPacket &packet, bool isData, const std::string &what);
    void Damage(velk_LLPacket &packet, const char *why);
    void SetIdle(bool idle);
    void Abandon(const std::string &why);

    TSimLine &line_;
    TSimShared &shared_;
    TSimTiming timing_;
    std::vector<uint8_t> input_; // read from the line, not yet fed into a packet
    size_t inputAt_ = 0;
};

// A short description of a link packet for the trace.
std::string DescribePacket(const velk_LLPacket &packet);

} // namespace velksim
