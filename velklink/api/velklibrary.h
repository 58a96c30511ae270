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
// releaseQueue: the calling thread's queue goes too (not while one of its
// messages runs).
void LibraryFinalize(bool releaseQueue = true);

// One export's run on the calling thread (exports nest when a host callback
// calls one). When the outermost ends outside any host callback, the library
// has left all its frames: a close or Finalize that a callback asked for is
// done then.
class TLibraryCall {
public:
    TLibraryCall();
    ~TLibraryCall();
    TLibraryCall(const TLibraryCall &) = delete;
    TLibraryCall &operator=(const TLibraryCall &) = delete;
};

// CloseComPort and Finalize called inside a host callback: the exchange under
// way ends as failed at once (its wait returns), and the close or Finalize is
// done as soon as the library has left its frames. True when deferred, false
// outside any callback (the caller then does it itself).
bool DeferClose();
bool DeferFinalize();

// The host's idle callback, called while the library waits for the decoder.
VELK_IdleCallback SetIdleCallback(VELK_IdleCallback callback);
