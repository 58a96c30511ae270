// TLibraryMessages: has every Qt event loop of the window thread handle the
// library's messages. The library's work (bytes received, time-outs) runs only
// when the thread that opened the port handles its messages; HLPWaitFor does
// that while it waits, but a message box, a file or colour dialog or a menu
// runs an event loop of its own. While this object lives, the descriptor of
// GetMessageHandle is watched and each time it becomes readable the waiting
// messages are handled, whichever loop is running, so a transfer goes on
// behind any open box.
//
// Create it after Initialize and destroy it before Finalize, on the thread
// that called Initialize.
#pragma once

#include <memory>

class QSocketNotifier;

class TLibraryMessages {
public:
    TLibraryMessages();
    ~TLibraryMessages();
    TLibraryMessages(const TLibraryMessages &) = delete;
    TLibraryMessages &operator=(const TLibraryMessages &) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
