#include "velkcport.h"

#include "velkformat.h"

#include <string>

velk_CPort::velk_CPort() {
    SetBaudRate(br19200);
    SetDiscardNull(false);
    SetDataBits(dbEight);
    Parity().SetBits(prNone);
    Parity().SetCheck(false);
    SetStopBits(sbOneStopBit);
    Buffer().SetInputSize(4096);
    Buffer().SetOutputSize(4096);
    FlowControl().SetFlowControl(fcNone);
    SetEvents({evRxChar, evTxEmpty});
    SetSyncMethod(smThreadSync);
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
    std::string scratch;
    for (int32_t waiting = InputCount(); waiting > 0; waiting = InputCount()) {
        scratch.resize(waiting);
        if (Read(scratch.data(), waiting) == 0)
            break; // counted but not readable: nothing more to take now
    }
}
