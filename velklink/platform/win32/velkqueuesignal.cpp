// <windows.h> before the library's headers: see velklink.h on GetVersion.
#include <windows.h>

#include "velkqueuesignal.h"

#include "velkmessagequeue.h"

#include <string>
#include <system_error>

namespace {

constexpr UINT WM_VELK_WAKE = WM_APP + 0x56;
constexpr wchar_t kClassName[] = L"VelkLinkMessageWindow";

// The module (DLL or program) this code is part of: the window class is its own.
HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

// The call that failed and the system's error code, by number: the runtime's
// text for a Windows code is that of a C library error of the same number.
std::system_error LastError(const char *what) {
    const DWORD code = ::GetLastError();
    return std::system_error(static_cast<int>(code), std::system_category(),
                             std::string(what) + " (error " + std::to_string(code) + ")");
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_VELK_WAKE)
        return ::DefWindowProcW(window, message, wParam, lParam);
    auto *signal = reinterpret_cast<TQueueSignal *>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (signal != nullptr) {
        signal->Woken();
        // The window belongs to the queue's owning thread, which runs this.
        TMessageQueue::Current().ProcessMessages();
    }
    return 0;
}

HWND Window(void *window) {
    return static_cast<HWND>(window);
}

} // namespace

TQueueSignal::TQueueSignal() : event_(MakeEvent()) {
    // The class handles nothing itself: a class outlives the DLL that
    // registered it (a host may unload and load the library again), so its
    // procedure is the system's, and each window gets this library's own.
    // (A static's initialisation rather than std::call_once, which keeps
    // thread-local state that outlives an unloaded DLL under MinGW.)
    [[maybe_unused]] static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ThisModule();
        windowClass.lpszClassName = kClassName;
        ::RegisterClassExW(&windowClass); // registered before by this module: fails harmlessly
        return true;
    }();
    // Now and then (about once in several hundred programs, more often on a
    // loaded machine) Wine fails to make a thread's first window, with no
    // error code: the window behind every message-only window (the desktop's,
    // which another process provides) is not there yet. The window is tried
    // again a few times, each wait twice the one before, from 20 ms to 1.28 s:
    // at most about 2.5 s in all, for a failure that is the system's own.
    constexpr int kWindowTries = 8;
    DWORD retryMs = 20;
    for (int attempt = 1; window_ == nullptr; ++attempt, retryMs *= 2) {
        window_ = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
        if (window_ == nullptr && attempt == kWindowTries)
            throw LastError("CreateWindowEx");
        if (window_ == nullptr)
            ::Sleep(retryMs);
    }
    ::SetWindowLongPtrW(Window(window_), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(Window(window_), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
}

TQueueSignal::~TQueueSignal() {
    Close();
}

void TQueueSignal::Raise() {
    ::SetEvent(event_.Get());
    if (window_ != nullptr && !wakePosted_.exchange(true))
        if (!::PostMessageW(Window(window_), WM_VELK_WAKE, 0, 0))
            wakePosted_.store(false);
}

bool TQueueSignal::AbsorbWake(void *window, unsigned message) {
    if (window == nullptr || window != window_ || message != WM_VELK_WAKE)
        return false;
    Woken();
    return true;
}

void TQueueSignal::Lower() {
    ::ResetEvent(event_.Get());
}

void TQueueSignal::Close() {
    if (window_ == nullptr)
        return;
    // Only the owning thread can destroy its window; after that thread has
    // ended, the system has destroyed it already.
    // The window gives up this library's procedure first: should it outlive
    // this call, no message to it can reach code that has been unloaded.
    ::SetWindowLongPtrW(Window(window_), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcW));
    ::SetWindowLongPtrW(Window(window_), GWLP_USERDATA, 0);
    ::DestroyWindow(Window(window_));
    window_ = nullptr;
}
