#include "velkcport.h"

#include "velkformat.h"

#include <string>

velk_CPort::velk_CPort() {
    SetBaudRate(br115200);
    SetDiscardNull(false);
    SetDataBits(dbEight);
    Parity().SetBits(prNone);
    Parity().SetCheck(false);
    SetStopBits(sbOneStopBit);
    Buffer().SetInputSize(4096);
    Buffer().SetOutputSize(4096);
    FlowControl().SetFlowControl(fcNone);
    SetEvents({evRxChar, evTxEmpty});
    SetSyncMethod(smWindowSync);
}

void velk_CPort::Open() {
    try {
        TComPort::Open();
    } catch (const EComPort &e) {
        // A remote port's cause (connection refused, the server's own text)
        // follows: its system code alone cannot say it.
        std::string message = Format("Errore connettendo la porta %s.", Port());
        if (!e.Cause().empty())
            message += " " + e.Cause();
        throw EComPort(std::move(message), e.Code(), e.SystemCode(), e.Cause());
    }
}

void velk_CPort::Close() {
    try {
        TComPort::Close();
    } catch (const EComPort &e) {
        throw EComPort(Format("Errore disconnettendo la porta %s.", Port()), e.Code(), e.SystemCode());
    }
}

void velk_CPort::DrainInput() {
    // Only what waits now: a line that never stops sending would otherwise
    // hold the caller for ever.
    std::string scratch;
    for (int32_t left = InputCount(); left > 0;) {
        scratch.resize(left);
        const int32_t got = Read(scratch.data(), left);
        if (got == 0)
            break; // counted but not readable: nothing more to take now
        left -= got;
    }
}
