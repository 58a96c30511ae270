// The event thread of a remote port on Windows: it waits for its stop signal
// or for the connection's event, which Winsock sets when bytes arrive (once
// for each arrival after a read, so bytes left unread never make it spin) and
// when the connection closes.
// <winsock2.h> before <windows.h>, and both before the library's headers: see
// velklink.h on GetVersion.
#include <windows.h>
#include <winsock2.h>

#include "CPortThread.h"

#include "CPort.h"
#include "CPortSocket.h"

void TComThread::ExecuteSocket(TPortSocket &socket) {
    const HANDLE arrived = reinterpret_cast<HANDLE>(socket.WaitHandle());
    const auto native = static_cast<SOCKET>(socket.Native());
    const bool watching = port_.Events().Contains(evRxChar);
    for (;;) {
        const HANDLE wakers[] = {stop_.Get(), arrived};
        if (::WaitForMultipleObjects(watching ? 2 : 1, wakers, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return; // the stop signal, or the wait failed
        WSANETWORKEVENTS happened{};
        if (::WSAEnumNetworkEvents(native, arrived, &happened) != 0) {
            port_.DeliverLineError(static_cast<int32_t>(::WSAGetLastError()));
            return;
        }
        // The bytes that came before a close are announced before it.
        if (happened.lNetworkEvents & (FD_READ | FD_CLOSE))
            port_.DeliverEvents(Events(EV_RXCHAR));
        if (happened.lNetworkEvents & FD_CLOSE) {
            port_.DeliverLineError(TPortSocket::LostCode());
            return;
        }
    }
}
