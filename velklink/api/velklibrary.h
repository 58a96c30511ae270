// The library-wide objects that Initialize creates and Finalize frees, in
// creation order. Exports reach them through Library(), which is null before
// Initialize and after Finalize.
#pragma once

#include "velkclasses.h"
#include "velkcport.h"
#include "velkevents.h"
#include "velkhlprotocol.h"
#include "velkllprotocol.h"
#include "velkmessagequeue.h"
#include "velkrecords.h"

#include <memory>

struct TLibrary {
    // A target on the message queue of the thread that called Initialize: keeps
    // that queue, whose descriptor GetMessageHandle gives, alive.
    std::unique_ptr<TMessageTarget> Owner;
    std::unique_ptr<TEvents> Events;
    std::unique_ptr<velk_CPort> Port;
    std::unique_ptr<velk_LLProtocol> Link;
    std::unique_ptr<velk_HLProtocol> Transfer;
    std::unique_ptr<velk_Records> Records;
    std::unique_ptr<TBuffer> ResultBuffer;

    TLibrary();
    ~TLibrary();
    TLibrary(const TLibrary &) = delete;
    TLibrary &operator=(const TLibrary &) = delete;
};

TLibrary *Library();
void LibraryInitialize();
void LibraryFinalize();

// The host's idle callback, called while the library waits for the decoder.
VELK_IdleCallback SetIdleCallback(VELK_IdleCallback callback);
