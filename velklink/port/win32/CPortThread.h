// TComThread: the port's event thread. It waits (an overlapped WaitCommEvent)
// for the device's events or for its stop signal, and hands each set of events
// to the port's delivery. The driver reports an arrival once, however long its
// bytes stay unread; a device that fails (a USB adapter pulled out) is handed
// over once as a line error, and the thread ends. For a remote port's line it
// waits on the connection's event instead (CPortSocketThread.cpp).
#pragma once

#include "CPortTypes.h"
#include "velkhandle.h"
#include "velkworkerthread.h"

#include <cstdint>
#include <memory>

class TCustomComPort;
class TPortDevice;
class TPortSocket;

class TComThread {
public:
    // Starts watching the port's open line for the port's Events.
    explicit TComThread(TCustomComPort &port);
    // Stops the thread and waits for it; on the thread that created it, events
    // handed over meanwhile are still delivered.
    ~TComThread();
    TComThread(const TComThread &) = delete;
    TComThread &operator=(const TComThread &) = delete;

    // What the line gives to wait on (TPortLine::Watch): starts the thread.
    void Watch(TPortDevice &device);
    void Watch(TPortSocket &socket);

private:
    // The overlapped wait in progress and the event mask it fills in.
    struct TCommWait;

    void Execute(TPortDevice &device);
    // The loop for a remote port: arrivals and the close of its connection.
    void ExecuteSocket(TPortSocket &socket);
    // The port's watched events among those of a driver's event mask.
    TComEvents Events(uint32_t mask);

    TCustomComPort &port_;
    THandle stop_;
    THandle eventDone_;
    // Kept apart from the thread's stack: a driver that never completes a
    // cancelled wait may still write it later, so it is then never freed.
    std::unique_ptr<TCommWait> wait_;
    std::unique_ptr<TWorkerThread> thread_;
};
