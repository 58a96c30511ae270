// The calling thread's queue, kept in a fiber-local slot whose callback runs
// when the thread ends: the queue is closed there, so workers still posting to
// it are released instead of waiting for ever. (A thread_local object's
// destructor is no place for it with MinGW: the thread's storage can be freed
// before that destructor runs.)
// <windows.h> before the library's headers: see velklink.h on GetVersion.
#include <windows.h>

#include "velkmessagequeue.h"

#include <memory>
#include <system_error>

namespace {

using THeld = std::shared_ptr<TMessageQueue>;

void WINAPI ThreadEnded(void *slotValue) {
    std::unique_ptr<THeld> held(static_cast<THeld *>(slotValue));
    if (held && *held)
        (*held)->Close();
}

// The slot lives as long as the module: freeing it (when the DLL is unloaded,
// or the program ends) closes every thread's queue still held, so no callback
// is left pointing into code that is gone.
struct TSlot {
    DWORD Index = ::FlsAlloc(&ThreadEnded);
    TSlot() {
        if (Index == FLS_OUT_OF_INDEXES)
            throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "FlsAlloc");
    }
    ~TSlot() {
        // The thread that unloads the library (or ends the program) closes its
        // own queue here: the system does not call the callback on FlsFree
        // everywhere.
        ThreadEnded(::FlsGetValue(Index));
        ::FlsSetValue(Index, nullptr);
        ::FlsFree(Index);
    }
};

DWORD Slot() {
    static const TSlot slot;
    return slot.Index;
}

} // namespace

std::shared_ptr<TMessageQueue> TMessageQueue::CurrentShared() {
    const DWORD slot = Slot();
    auto *held = static_cast<THeld *>(::FlsGetValue(slot));
    if (held == nullptr) {
        auto fresh = std::make_unique<THeld>(std::make_shared<TMessageQueue>(TKey{}));
        if (!::FlsSetValue(slot, fresh.get()))
            throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "FlsSetValue");
        held = fresh.release();
    }
    return *held;
}

void TMessageQueue::ReleaseCurrent() {
    const DWORD slot = Slot();
    ThreadEnded(::FlsGetValue(slot));
    ::FlsSetValue(slot, nullptr);
}
