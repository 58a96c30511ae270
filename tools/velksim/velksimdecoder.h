// TSimDecoder: the decoder's side of the transfer layer. It takes one complete
// transmission from the PC, a transfer packet, and serves it against the
// memory in TSimShared:
//   SYNC          ACK the first time after start, SYNC afterwards
//   READ FLASH    DATA with the bytes, or NACK when the range leaves the record area
//   READ EEPROM   DATA with the bytes, or NACK when the range leaves the 8 KiB
//   WRITE FLASH   from the start of a record slot, 1 to 65536 bytes inside the
//                 record area: the slot's first bytes replaced, then ACK; else NACK
//   WRITE EEPROM  1 to 8192 bytes inside the EEPROM, then ACK; else NACK
//   FIRMWARE      the image kept as the last firmware, then ACK; NACK when empty
//   anything else NACK
// A write changes memory only once the whole request is in and checked, and is
// saved to the state folder before its ACK goes out; when the save fails the
// memory is put back and the write refused.
#pragma once

#include "velksimreception.h"
#include "velksimshared.h"

#include <cstdint>
#include <optional>
#include <vector>

class velk_HLPacket;

namespace velksim {

class TSimDecoder {
public:
    explicit TSimDecoder(TSimShared &shared) : shared_(shared) {}

    // The answer to send back, or nothing when the request is swallowed (the
    // fault that acknowledges a request but never answers it).
    std::optional<std::vector<uint8_t>> Serve(const TSimReception::TComplete &request);

    // The kind of a received transfer packet (rqOther when not valid).
    static TSimRequest KindOf(const velk_HLPacket &packet);

private:
    uint32_t Read(const velk_HLPacket &request, TSimRequest kind, std::vector<uint8_t> &data);
    uint32_t Write(const velk_HLPacket &request, TSimRequest kind);
    uint32_t Firmware(const velk_HLPacket &request);
    // Saves the memory to the state folder, if any, with the lock held; false
    // (and noted) when that fails.
    bool Persist(void (TSimStateFolder::*save)(const TSimMemory &));
    void Count(TSimRequest kind);

    TSimShared &shared_;
};

// The transfer packet's name for the trace ("READ FLASH", ...).
const char *CommandName(uint32_t command);

} // namespace velksim
