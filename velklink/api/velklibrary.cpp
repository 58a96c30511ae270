#include "velklibrary.h"

#include "velklog.h"

namespace {
std::unique_ptr<TLibrary> g_library;
}

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
    ResultBuffer = std::make_unique<TBuffer>(0);
}

TLibrary::~TLibrary() {
    // Reverse order of creation. The logs lose their handlers with the events
    // object, so nothing can reach a freed host callback.
    ResultBuffer.reset();
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
