// TSimCounters: what the simulator has seen and done on the line since it
// started (or since its counters were reset). Tests read a snapshot.
#pragma once

#include "velksimmemory.h"

#include <cstdint>
#include <vector>

namespace velksim {

struct TSimCounters {
    // The line.
    int64_t bytesReceived = 0;
    int64_t bytesSent = 0; // every byte written, noise included
    int64_t noiseBytesSent = 0;
    int64_t lineOpens = 0; // opens of the pseudo-terminal by the PC
    int64_t lineCloses = 0;

    // Link packets. Received packets are counted when complete, valid or not;
    // dropped answers are not counted as sent.
    int64_t packetsReceived = 0;
    int64_t dataPacketsReceived = 0;
    int64_t invalidPacketsReceived = 0;
    int64_t acksReceived = 0;
    int64_t nacksReceived = 0;
    int64_t packetsSent = 0;
    int64_t dataPacketsSent = 0;
    int64_t acksSent = 0;
    int64_t nacksSent = 0;
    int64_t resends = 0; // DATA packets sent again after a NACK

    // Link transmissions (one transfer packet each).
    int64_t transmissionsReceived = 0;
    int64_t transmissionsSent = 0;      // every packet acknowledged by the PC
    int64_t transmissionsAbandoned = 0; // given up: no answer, too many NACKs, a bad answer

    // Transfer requests by kind, and the ones refused with a transfer NACK.
    int64_t syncs = 0;
    int64_t readFlashRequests = 0;
    int64_t readEepromRequests = 0;
    int64_t writeFlashRequests = 0;
    int64_t writeEepromRequests = 0;
    int64_t firmwareRequests = 0;
    int64_t otherRequests = 0;
    int64_t refusedRequests = 0;
    int64_t swallowedRequests = 0;

    // Memory traffic of the requests served: one range per request, in order.
    int64_t flashBytesRead = 0;
    int64_t eepromBytesRead = 0;
    int64_t flashBytesWritten = 0;
    int64_t eepromBytesWritten = 0;
    std::vector<TSimRange> flashReads;
    std::vector<TSimRange> eepromReads;
    std::vector<TSimRange> flashWrites;
    std::vector<TSimRange> eepromWrites;
    std::vector<uint32_t> firmwareUploads; // image sizes
};

} // namespace velksim
