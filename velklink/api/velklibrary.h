// The library-wide objects that Initialize creates and Finalize frees, in
// creation order. Exports reach them through Library(), which is null before
// Initialize and after Finalize.
#pragma once

#include "velkclasses.h"
#include "velkevents.h"

#include <memory>

struct TLibrary {
    std::unique_ptr<TEvents> Events;
    std::unique_ptr<TBuffer> ResultBuffer;

    TLibrary();
    ~TLibrary();
    TLibrary(const TLibrary &) = delete;
    TLibrary &operator=(const TLibrary &) = delete;
};

TLibrary *Library();
void LibraryInitialize();
void LibraryFinalize();
