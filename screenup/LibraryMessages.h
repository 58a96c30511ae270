// TLibraryMessages: has every event loop of the window thread handle the
// library's messages. The library's work (bytes received, time-outs) runs only
// when the thread that opened the port handles its messages; HLPWaitFor does
// that while it waits, but a message box, a file or colour dialog or a menu
// runs an event loop of its own. While this object lives, each of those loops
// serves the library too, so a transfer goes on behind any open box. Each
// front end defines it: Qt watches the descriptor of GetMessageHandle; on
// Windows the library's message-only window is served by any loop already.
//
// Create it after Initialize and destroy it before Finalize, on the thread
// that called Initialize.
#pragma once

#include <memory>

class TLibraryMessages {
public:
    TLibraryMessages();
    ~TLibraryMessages();
    TLibraryMessages(const TLibraryMessages &) = delete;
    TLibraryMessages &operator=(const TLibraryMessages &) = delete;

private:
    struct TWatch;
    std::unique_ptr<TWatch> watch_;
};
