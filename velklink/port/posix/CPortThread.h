// TComThread: the port's event thread. It waits (epoll, edge-triggered) for
// bytes to arrive on the line's descriptor (the tty, a remote port's socket)
// or for its stop signal, and hands each set of events to the port's delivery.
// Bytes that nobody reads raise one event per arrival, never a busy loop; a
// hang-up or device error is handed over once as a line error, and the thread
// ends.
#pragma once

#include "CPortTypes.h"
#include "velkdescriptor.h"
#include "velkworkerthread.h"

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
    void Start(int fd);
    void Execute(int deviceFd);

    TCustomComPort &port_;
    TDescriptor epoll_;
    TDescriptor stop_;
    std::unique_ptr<TWorkerThread> thread_;
};
