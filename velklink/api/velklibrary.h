// The library-wide objects that Initialize creates and Finalize frees, in
// creation order. Exports reach them through Library(), which is null before
// Initialize and after Finalize.
#pragma once

#include "velkclasses.h"
#include "velkdecoderstack.h"
#include "velkevents.h"
#include "velkmessagequeue.h"

#include <memory>

struct TLibrary {
    // A target on the message queue of the thread that called Initialize: keeps
    // that queue, whose descriptor GetMessageHandle gives, alive.
    std::unique_ptr<TMessageTarget> Owner;
    std::unique_ptr<TEvents> Events;
    // The port, the engines and the record directory, with the logs connected
    // to the events object.
    std::unique_ptr<TDecoderStack> Stack;
    // The stack's parts the exports use.
    velk_CPort &Port() { return Stack->Port(); }
    velk_HLProtocol &Transfer() { return Stack->Transfer(); }
    velk_Records &Records() { return Stack->Records(); }
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
