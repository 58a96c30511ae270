#include "velklibrary.h"

#include "velkmessagequeue.h"
#include "velkprocessend.h"

#include <atomic>

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
    if (VELK_IdleCallback idle = g_idle.load())
        idle();
}
} // namespace

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
    g_holder.Library.reset();
    g_holder.Library = std::make_unique<TLibrary>();
}

void LibraryFinalize() {
    if (!g_holder.Library)
        return;
    g_holder.Library.reset();
    // Nothing of the library posts to this thread any more: its queue goes
    // too (on Windows with its window), here rather than when the thread ends
    // or the library is unloaded, where a window can no longer be destroyed
    // safely. A later Initialize makes a new one.
    TMessageQueue::ReleaseCurrent();
}
