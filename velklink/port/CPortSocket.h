// TPortSocket: a TCP connection to a serial server, non-blocking, with
// TCP_NODELAY (the link's stop-and-wait exchange would pay every delayed
// segment twice a packet). The operating system's part of a remote port: its
// calls live in posix/ and win32/.
#pragma once

#include "CPortRemoteName.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class TPortSocket {
public:
    // What Receive returns once the server has closed or the connection is lost.
    static constexpr int64_t kClosed = -1;

    // Resolves the name's host and connects to the first of its addresses
    // that answers, all within timeoutMs. Failures are EComPort ceOpen with a
    // cause that names HOST:PORT: unknown host, connection refused, no answer.
    TPortSocket(const TRemoteName &name, int timeoutMs);
    ~TPortSocket();
    TPortSocket(const TPortSocket &) = delete;
    TPortSocket &operator=(const TPortSocket &) = delete;

    // Sends what the connection takes now, possibly nothing; EComPort ceWrite
    // with the system's code on failure.
    size_t Send(const uint8_t *bytes, size_t count);
    // Bytes that have arrived (0: none yet), or kClosed; lostCode then says
    // why (LostCode() for an orderly close or a reset).
    int64_t Receive(uint8_t *bytes, size_t count, int32_t &lostCode);
    // Waits at most ms for bytes (or the close) to arrive, or, with forWrite,
    // for room to send; true when ready.
    bool Wait(bool forWrite, int ms);

    // What the port's event thread waits on: the descriptor (Linux), the
    // event that FD_READ and FD_CLOSE set (Windows).
    intptr_t WaitHandle() const;
    // The socket itself (the descriptor, the SOCKET).
    intptr_t Native() const;
    // The system's code for a connection that has gone, as a dead local line
    // reports it: EIO (Linux), WSAECONNRESET (Windows).
    static int32_t LostCode();
    // The system's code for a write that ran out of time: ETIMEDOUT (Linux),
    // ERROR_TIMEOUT (Windows).
    static int32_t TimedOutCode();

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};
