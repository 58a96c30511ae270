// The owning thread's blocking wait for its next message. It waits for the
// queue's event and for the thread's own window messages at once, and
// dispatches those as they come, as a waiting Windows program must: the
// host's windows stay alive during a transfer. The library's own wake-up is
// taken without handling the queue: that is the caller's next step.
// <windows.h> before the library's headers: see velklink.h on GetVersion.
#include <windows.h>

#include "velkmessagequeue.h"

#include <chrono>

namespace {

// Dispatches every window message of this thread waiting now. A WM_QUIT is
// the host's to see: it is posted again, and false says to stop pumping.
bool DispatchThreadMessages(TQueueSignal &signal) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        if (signal.AbsorbWake(message.hwnd, message.message))
            continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return true;
}

} // namespace

bool TMessageQueue::WaitForMessage(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    const HANDLE event = signal_.Event();
    bool pumping = true;
    for (;;) {
        DWORD waitMs = INFINITE;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            waitMs = left > 0 ? static_cast<DWORD>(left) : 0;
        }
        // Once a WM_QUIT has been seen, window input no longer ends the wait:
        // the quit stays pending for the host and would wake this at once.
        const DWORD woke = pumping ? ::MsgWaitForMultipleObjectsEx(1, &event, waitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE)
                                   : ::WaitForSingleObject(event, waitMs);
        if (woke == WAIT_OBJECT_0)
            return true;
        if (pumping && woke == WAIT_OBJECT_0 + 1) {
            pumping = DispatchThreadMessages(signal_);
            continue;
        }
        return Waiting() > 0; // time-out or failure
    }
}
