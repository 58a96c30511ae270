#include "velklibrary.h"

#include "velkmessagequeue.h"

#include <atomic>

namespace {
std::unique_ptr<TLibrary> g_library;
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
    return g_library.get();
}

void LibraryInitialize() {
    // A second Initialize without Finalize starts from a clean set of objects.
    g_library.reset();
    g_library = std::make_unique<TLibrary>();
}

void LibraryFinalize() {
    if (!g_library)
        return;
    g_library.reset();
    // Nothing of the library posts to this thread any more: its queue goes
    // too (on Windows with its window), here rather than when the thread ends
    // or the library is unloaded, where a window can no longer be destroyed
    // safely. A later Initialize makes a new one.
    TMessageQueue::ReleaseCurrent();
}
