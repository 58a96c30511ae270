// TRecordTransport: the four transfer engine operations the record store uses,
// plus the wait that follows each of them. Every start is followed at once by
// WaitFor, so each transfer is synchronous for the record store. The library
// passes the transfer engine through THLTransport; tests may pass a decoder of
// their own.
#pragma once

#include "velkclasses.h"

#include <cstdint>

class TRecordTransport {
public:
    virtual ~TRecordTransport() = default;

    virtual void ReadFlash(uint32_t address, int32_t length) = 0;
    // The data are copied before the call returns.
    virtual void SendFlash(const void *data, uint32_t address, int32_t length) = 0;
    virtual void ReadEeprom(uint32_t address, int32_t length) = 0;
    // Waits until the exchange has ended; true when it ended without error.
    virtual bool WaitFor() = 0;
    // The data of the last completed read.
    virtual TBuffer &GetBuffer() = 0;
};
