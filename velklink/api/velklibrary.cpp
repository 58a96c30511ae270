#include "velklibrary.h"

#include "velklog.h"

#include <atomic>

namespace {
std::unique_ptr<TLibrary> g_library;
std::atomic<VELK_IdleCallback> g_idle{nullptr};

void CallIdle() {
    if (VELK_IdleCallback idle = g_idle.load())
        idle();
}
} // namespace

VELK_IdleCallback SetIdleCallback(VELK_IdleCallback callback) { return g_idle.exchange(callback); }

TLibrary::TLibrary() {
    Owner = std::make_unique<TMessageTarget>();
    Events = std::make_unique<TEvents>();
    TEvents *events = Events.get();
    TransferLog().OnLog = [events](velk_Log &sender, const std::string &text) {
        events->HLProtocolLog(sender, text);
    };
    LinkLog().OnLog = [events](velk_Log &sender, const std::string &text) {
        events->LLProtocolLog(sender, text);
    };
    // Received bytes reach the thread that opens the port through its queue.
    Port = std::make_unique<velk_CPort>();
    Port->SetBaudRate(br115200);
    Port->SetSyncMethod(smWindowSync);
    Link = std::make_unique<velk_LLProtocol>(*Port);
    Transfer = std::make_unique<velk_HLProtocol>(
        *Link, [events](velk_HLProtocol &sender, int32_t code, int32_t value) {
            events->HLProtocolEvent(&sender, code, value);
        });
    Transfer->OnIdle = [] { CallIdle(); };
    // The record area: 30 slots of 64 KiB from the first record slot's address.
    Records = std::make_unique<velk_Records>(0x34020000, 30);
    ResultBuffer = std::make_unique<TBuffer>(0);
}

TLibrary::~TLibrary() {
    // Reverse order of creation. The logs lose their handlers with the events
    // object, so nothing can reach a freed host callback.
    ResultBuffer.reset();
    Records.reset();
    Transfer.reset();
    Link.reset();
    Port.reset(); // closes an open port
    LinkLog().OnLog = nullptr;
    TransferLog().OnLog = nullptr;
    Events.reset();
}

TLibrary *Library() { return g_library.get(); }

void LibraryInitialize() {
    // A second Initialize without Finalize starts from a clean set of objects.
    g_library.reset();
    g_library = std::make_unique<TLibrary>();
}

void LibraryFinalize() { g_library.reset(); }
