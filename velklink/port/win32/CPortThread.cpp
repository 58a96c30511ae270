// <windows.h> before the library's headers: see velklink.h on GetVersion.
#include <windows.h>

#include "CPortThread.h"

#include "CPort.h"
#include "CPortDevice.h"

namespace {

// Drivers differ in when they report EV_RXCHAR: Windows' own once per
// arrival, others (Wine on a pseudo-terminal) for as long as bytes wait. When
// a report finds no byte beyond those already announced, the thread waits for
// the owner to take input, or at most this long, before it asks again, so that
// bytes left unread (the link engine idle) never make it spin.
constexpr DWORD kRecheckMs = 50;
// How long a cancelled wait may take to finish when the port closes.
constexpr DWORD kCancelMs = 1000;

} // namespace

struct TComThread::TCommWait {
    OVERLAPPED Operation{};
    DWORD Mask = 0;
};

TComThread::TComThread(TCustomComPort &port)
    : port_(port), stop_(MakeEvent()), eventDone_(MakeEvent()), wait_(std::make_unique<TCommWait>()) {
    port.line_->Watch(*this);
}

void TComThread::Watch(TPortDevice &device) {
    // Of the line events only the arrival of bytes has a handler; asking for
    // the modem lines' events too would fail at once on devices without them.
    const DWORD mask = port_.Events().Contains(evRxChar) ? EV_RXCHAR : 0;
    if (!::SetCommMask(device.Get(), mask))
        throw EComPort(ceWaitForEvent, static_cast<int32_t>(::GetLastError()));
    thread_ = std::make_unique<TWorkerThread>([this, &device] { Execute(device); });
}

void TComThread::Watch(TPortSocket &socket) {
    thread_ = std::make_unique<TWorkerThread>([this, &socket] { ExecuteSocket(socket); });
}

TComThread::~TComThread() {
    ::SetEvent(stop_.Get());
    thread_->Join();
    if (!wait_) // abandoned by the thread: the driver may still complete it
        eventDone_.Release();
}

TComEvents TComThread::Events(uint32_t mask) {
    TComEvents events;
    if (mask & EV_RXCHAR)
        events.Include(evRxChar);
    return events & port_.Events();
}

void TComThread::Execute(TPortDevice &device) {
    const HANDLE file = device.Get();
    const HANDLE taken = device.InputTaken();
    const bool watching = port_.Events().Contains(evRxChar);
    DWORD announced = 0; // bytes waiting when the last notice went out
    for (;;) {
        OVERLAPPED &operation = wait_->Operation;
        operation = OVERLAPPED{};
        operation.hEvent = eventDone_.Get();
        ::ResetEvent(operation.hEvent);
        DWORD &mask = wait_->Mask;
        mask = 0;
        DWORD error = ERROR_SUCCESS;
        if (!watching) {
            ::WaitForSingleObject(stop_.Get(), INFINITE);
            return;
        }
        if (!::WaitCommEvent(file, &mask, &operation)) {
            error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                const HANDLE wakers[] = {stop_.Get(), eventDone_.Get()};
                if (::WaitForMultipleObjects(2, wakers, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
                    // Stopping (or the wait itself failed): the pending wait is this
                    // thread's own, so this thread cancels it and lets it finish,
                    // within a bound: some drivers never finish it (Wine on a
                    // serial device with no hardware behind it), and closing the
                    // port must not wait for ever. Such a wait is abandoned.
                    ::CancelIo(file);
                    if (::WaitForSingleObject(operation.hEvent, kCancelMs) != WAIT_OBJECT_0)
                        static_cast<void>(wait_.release());
                    return;
                }
                DWORD ignored = 0;
                error = ::GetOverlappedResult(file, &operation, &ignored, FALSE) ? ERROR_SUCCESS : ::GetLastError();
                // The event has come, so the wait has ended, yet its status may
                // still read as pending: Wine ends a wait on a helper thread of
                // its own, which can finish before the starting call has marked
                // the wait pending, and that mark then hides the real status.
                // Such a wait is taken as one the driver aborted: the line is
                // looked at and the thread waits again.
                if (error == ERROR_IO_INCOMPLETE)
                    error = ERROR_OPERATION_ABORTED;
            }
        }
        if (::WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0)
            return;
        if (::WaitForSingleObject(taken, 0) == WAIT_OBJECT_0)
            announced = 0;
        // Whether the line is still there; a device that has gone (a USB adapter
        // pulled out) fails here for ever: the owner is told once, after the
        // bytes that came before, and the thread leaves.
        DWORD lineErrors = 0;
        COMSTAT status{};
        if (!::ClearCommError(file, &lineErrors, &status)) {
            port_.DeliverLineError(static_cast<int32_t>(::GetLastError()));
            return;
        }
        // Some drivers abort a pending wait on their own (Wine, which re-reads
        // the modem lines of a device that has none): the line is fine, and
        // bytes that came meanwhile are looked at like any others.
        if (error != ERROR_SUCCESS && error != ERROR_OPERATION_ABORTED) {
            port_.DeliverLineError(static_cast<int32_t>(error));
            return;
        }
        if (status.cbInQue == 0) {
            announced = 0;
            continue;
        }
        if (status.cbInQue > announced && (error == ERROR_OPERATION_ABORTED || (mask & EV_RXCHAR))) {
            announced = status.cbInQue;
            port_.DeliverEvents(Events(EV_RXCHAR));
            continue;
        }
        // Nothing beyond what was announced: wait until the owner takes input
        // (or stop, or the recheck).
        const HANDLE wakers[] = {stop_.Get(), taken};
        const DWORD woke = ::WaitForMultipleObjects(2, wakers, FALSE, kRecheckMs);
        if (woke == WAIT_OBJECT_0)
            return;
        if (woke == WAIT_OBJECT_0 + 1)
            announced = 0;
    }
}
