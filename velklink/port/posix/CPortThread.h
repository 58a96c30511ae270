// TComThread: the port's event thread. It waits (epoll, edge-triggered) for
// bytes to arrive on the device or for its stop signal, and hands each set of
// events to the port's delivery. Bytes that nobody reads raise one event per
// arrival, never a busy loop; a hang-up or device error is handed over once as
// a line error, and the thread ends.
#pragma once

#include "CPortTypes.h"
#include "velkdescriptor.h"
#include "velkworkerthread.h"

#include <memory>

class TCustomComPort;

class TComThread {
public:
    // Starts watching the port's open device for the port's Events.
    explicit TComThread(TCustomComPort &port);
    // Stops the thread and waits for it; on the thread that created it, events
    // handed over meanwhile are still delivered.
    ~TComThread();
    TComThread(const TComThread &) = delete;
    TComThread &operator=(const TComThread &) = delete;

private:
    void Execute();

    TCustomComPort &port_;
    TDescriptor epoll_;
    TDescriptor stop_;
    std::unique_ptr<TWorkerThread> thread_;
};
