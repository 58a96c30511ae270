// velk_CPort: the library's serial port. Its creation fixes the line settings
// the decoder needs; its open and close report failures in Italian with the
// port's name.
#pragma once

#include "CPort.h"

class velk_CPort : public TComPort {
public:
    // br19200, 8N1 without parity check, queues of 4096 bytes, no flow control,
    // events evRxChar and evTxEmpty, smThreadSync.
    velk_CPort();

    // As TCustomComPort::Open; a port error becomes EComPort "Errore connettendo
    // la porta %s." with the port's name (codes kept), followed by its cause
    // when it has one (a remote port's).
    void Open();
    // As TCustomComPort::Close; a port error becomes EComPort "Errore
    // disconnettendo la porta %s.".
    void Close();
    // Reads and drops the received bytes waiting now (those that arrive
    // meanwhile may stay).
    void DrainInput();
};
