// TLibraryScope: one use of the library by one operation that talks to the
// decoder. Creating it initialises the library, has every event loop of the
// window thread handle the library's messages, installs the uploader's
// callbacks and opens the port; destroying it closes the port and finalises
// the library, so nothing of the library outlives the operation.
#pragma once

#include "LibraryMessages.h"

#include <memory>
#include <string>

class TLibraryScope {
public:
    // portName: as the library takes it (a device name or path in the file
    // system's encoding on Linux, Windows-1252 on Windows).
    explicit TLibraryScope(const std::string &portName);
    ~TLibraryScope();
    TLibraryScope(const TLibraryScope &) = delete;
    TLibraryScope &operator=(const TLibraryScope &) = delete;

    // Whether the port opened; when it did not, the library has told the user why.
    bool Connected() const { return connected_; }

    // True while a scope exists: a second one must never be opened inside it.
    static bool Open();

private:
    std::unique_ptr<TLibraryMessages> messages_;
    bool connected_ = false;
};

// Installs the uploader's error box and idle callback in the library. They
// belong to the library as a whole, so GetComPort needs them too.
void InstallLibraryHandlers();
