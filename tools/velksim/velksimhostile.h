// The hostile decoder of TSimFaults (hostileAnswers, hostilePackets): what it
// sends instead of a sound transfer answer or link packet. Every replacement is
// one a receiver can tell from a sound one (a wrong kind, a broken frame or
// length, a wrong size); none changes the data behind valid checks.
#pragma once

#include "velksimfaults.h"

#include <cstdint>
#include <string>
#include <vector>

class velk_LLPacket;

namespace velksim {

// Replaces a transfer answer (a valid transfer packet the decoder was about to
// send); what describes the replacement for the trace.
std::vector<uint8_t> HostileAnswer(const std::vector<uint8_t> &answer, TSimDice &dice, std::string &what);

// Replaces a link packet the decoder was about to send (DATA, ACK or NACK).
std::vector<uint8_t> HostilePacket(const velk_LLPacket &packet, TSimDice &dice, std::string &what);

} // namespace velksim
