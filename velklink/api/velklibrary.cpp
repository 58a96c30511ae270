#include "velklibrary.h"

#include "velkhostcall.h"
#include "velkmessagequeue.h"
#include "velkprocessend.h"

#include <atomic>
#include <utility>

namespace {

// The library-wide objects between Initialize and Finalize. A host that ends
// without Finalize frees them as the library is unloaded, ending the library's
// threads as Finalize does; when the whole process is ending, those threads
// are gone already and the system takes back what they held, so the objects
// are left to it: freeing them would wait for threads that never answer.
struct TLibraryHolder {
    std::unique_ptr<TLibrary> Library;
    ~TLibraryHolder() {
        if (ProcessEnding())
            static_cast<void>(Library.release());
    }
};
TLibraryHolder g_holder;
std::atomic<VELK_IdleCallback> g_idle{nullptr};

void CallIdle() {
    if (VELK_IdleCallback idle = g_idle.load()) {
        const THostCall call;
        idle();
    }
}

// What a host callback asked for, to be done once the library has left its
// frames; Finalize covers a close.
enum class TDeferred { None, Close, Finalize };
TDeferred g_deferred = TDeferred::None;
thread_local int t_calls = 0; // exports running on this thread

bool LibraryLeft() {
    return t_calls == 0 && !THostCall::Active();
}

// inMessage: run by a message of the owning thread's queue, which must then
// outlive the run.
void RunDeferred(bool inMessage) {
    // A callback of the work below may ask again: that waits for the next
    // time the library is left, so this never loops.
    const TDeferred deferred = std::exchange(g_deferred, TDeferred::None);
    TLibrary *lib = Library();
    if (deferred == TDeferred::None || lib == nullptr)
        return;
    RunReportingErrors([&] {
        // No engine's frame is on the stack: the exchange can end here.
        lib->Transfer().Cancel();
        if (deferred == TDeferred::Finalize) {
            LibraryFinalize(!inMessage);
        } else {
            lib->Transfer().ClearCancel();
            lib->Port().Close();
        }
    });
}

bool Defer(TDeferred what) {
    TLibrary *lib = Library();
    if (!THostCall::Active() || lib == nullptr)
        return false;
    if (g_deferred != TDeferred::Finalize)
        g_deferred = what;
    lib->Transfer().RequestCancel();
    // A host whose own message loop serves the library (on Windows) calls no
    // export when the callback returns: the queue's next round does it.
    lib->Owner->Post([] {
        if (LibraryLeft())
            RunDeferred(true);
    });
    return true;
}
} // namespace

TLibraryCall::TLibraryCall() {
    ++t_calls;
}

TLibraryCall::~TLibraryCall() {
    --t_calls;
    if (g_deferred != TDeferred::None && LibraryLeft())
        RunDeferred(false);
}

bool DeferClose() {
    return Defer(TDeferred::Close);
}

bool DeferFinalize() {
    return Defer(TDeferred::Finalize);
}

VELK_IdleCallback SetIdleCallback(VELK_IdleCallback callback) {
    return g_idle.exchange(callback);
}

TLibrary::TLibrary() {
    Owner = std::make_unique<TMessageTarget>();
    Events = std::make_unique<TEvents>();
    TEvents *events = Events.get();
    Stack = std::make_unique<TDecoderStack>(TDecoderStack::THandlers{
        [events](velk_Log &sender, const std::string &text) { events->LLProtocolLog(sender, text); },
        [events](velk_Log &sender, const std::string &text) { events->HLProtocolLog(sender, text); },
        [events](velk_HLProtocol &sender, int32_t code, int32_t value) {
            events->HLProtocolEvent(&sender, code, value);
        }});
    Transfer().OnIdle = [] { CallIdle(); };
    ResultBuffer = std::make_unique<TBuffer>(0);
}

TLibrary::~TLibrary() {
    // Reverse order of creation. The logs lose their handlers with the stack,
    // before the events object goes, so nothing can reach a freed host callback.
    ResultBuffer.reset();
    Stack.reset(); // closes an open port
    Events.reset();
}

TLibrary *Library() {
    return g_holder.Library.get();
}

void LibraryInitialize() {
    // A second Initialize without Finalize starts from a clean set of objects.
    g_deferred = TDeferred::None;
    g_holder.Library.reset();
    g_holder.Library = std::make_unique<TLibrary>();
}

void LibraryFinalize(bool releaseQueue) {
    if (!g_holder.Library)
        return;
    g_holder.Library.reset();
    if (!releaseQueue)
        return;
    // Nothing of the library posts to this thread any more: its queue goes
    // too (on Windows with its window), here rather than when the thread ends
    // or the library is unloaded, where a window can no longer be destroyed
    // safely. A later Initialize makes a new one.
    TMessageQueue::ReleaseCurrent();
}
