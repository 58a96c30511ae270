// velk_CPort: the library's serial port. Its creation decides the decoder's
// line, the one place that does (every host of the library, the exports, the
// session interface and velkctl, takes it from here); its open and close
// report failures in Italian with the port's name.
#pragma once

#include "CPort.h"

class velk_CPort : public TComPort {
public:
    // The decoder's line: br115200, 8N1 without parity check, no flow control
    // (DTR and RTS off), queues of 4096 bytes, events evRxChar and evTxEmpty
    // handed to the thread that opens the port (smWindowSync).
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
