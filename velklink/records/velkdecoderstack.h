// TDecoderStack: one decoder on one serial port, assembled as every host of
// the library uses it. It creates, in this order, the serial port (with the
// decoder's line, as velk_CPort's creation sets it), the link engine on the
// port, the transfer engine on the link engine and the record directory of the
// decoder's record area, and frees them in reverse order. For as long as it
// lives it also holds the two protocol logs: it connects them before the port
// exists and disconnects them after the port is gone, so no log line reaches a
// handler whose owner has gone.
//
// It does not open the port: the owner names the port and opens it. Like the
// engines, it is created, used and destroyed on one thread, the one that opens
// the port. Its logs are its own: stacks on different threads never share a
// line or a handler.
#pragma once

#include "velkcport.h"
#include "velkhlprotocol.h"
#include "velkllprotocol.h"
#include "velklog.h"
#include "velkrecords.h"

#include <memory>

class TDecoderStack {
public:
    // Who hears the stack's logs and transfer events. An empty handler leaves
    // that log silent, or the transfer engine without an event handler.
    struct THandlers {
        velk_Log::THandler LinkLog;
        velk_Log::THandler TransferLog;
        velk_HLProtocol::THandler TransferEvent;
    };

    explicit TDecoderStack(THandlers handlers = {});
    ~TDecoderStack();
    TDecoderStack(const TDecoderStack &) = delete;
    TDecoderStack &operator=(const TDecoderStack &) = delete;

    velk_CPort &Port() { return *port_; }
    velk_LLProtocol &Link() { return *link_; }
    velk_HLProtocol &Transfer() { return *transfer_; }
    // The directory of the record area: 30 slots from 0x34020000.
    velk_Records &Records() { return *records_; }
    // A fresh directory in place of the current one, as a new host session has.
    void NewRecords();

private:
    // The stack's two logs, connected to their handlers while it lives.
    class TLogs {
    public:
        TLogs(velk_Log::THandler link, velk_Log::THandler transfer);
        ~TLogs();
        TLogs(const TLogs &) = delete;
        TLogs &operator=(const TLogs &) = delete;
        velk_Log Link;
        velk_Log Transfer;
    };

    TLogs logs_;
    std::unique_ptr<velk_CPort> port_;
    std::unique_ptr<velk_LLProtocol> link_;
    std::unique_ptr<velk_HLProtocol> transfer_;
    std::unique_ptr<velk_Records> records_;
};
