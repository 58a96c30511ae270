// The exported C functions of libvelklink.so: thin entry points onto the
// library-wide objects. Nothing thrown inside ever crosses this boundary.
#include "velklink.h"

#include "velkerrorbox.h"
#include "velklibrary.h"

#include <cstring>

namespace {
constexpr char kVersion[] = "Velkora Library 1.4";
}

extern "C" {

VELK_EXPORT void VELK_CALL Initialize(void) {
    Guarded(0, [] {
        LibraryInitialize();
        return 0;
    });
}

VELK_EXPORT void VELK_CALL Finalize(void) {
    Guarded(0, [] {
        LibraryFinalize();
        return 0;
    });
}

VELK_EXPORT int32_t VELK_CALL GetVersion(char *buffer) {
    if (buffer != nullptr)
        std::memcpy(buffer, kVersion, sizeof kVersion);
    return static_cast<int32_t>(sizeof kVersion - 1);
}

VELK_EXPORT VELK_LogCallback VELK_CALL SetLogEvent(VELK_LogCallback callback) {
    TLibrary *lib = Library();
    if (lib == nullptr)
        return nullptr;
    VELK_LogCallback previous = lib->Events->LogCallback;
    lib->Events->LogCallback = callback;
    return previous;
}

VELK_EXPORT VELK_EventCallback VELK_CALL HLPSetEvent(VELK_EventCallback callback) {
    TLibrary *lib = Library();
    if (lib == nullptr)
        return nullptr;
    VELK_EventCallback previous = lib->Events->EventCallback;
    lib->Events->EventCallback = callback;
    return previous;
}

VELK_EXPORT VELK_ErrorCallback VELK_CALL SetErrorEvent(VELK_ErrorCallback callback) {
    return SetErrorSink(callback);
}

} // extern "C"
