// The exported C functions of libvelklink.so: thin entry points onto the
// library-wide objects. Nothing thrown inside ever crosses this boundary.
#include "velklink.h"

#include "velkerrorbox.h"
#include "velkformat.h"
#include "velkhostcall.h"
#include "velklibrary.h"

#include <cstring>
#include <string>
#include <vector>

namespace {
// The library's name and its major and minor version, from the project's version.
#define VELK_TEXT(x) #x
#define VELK_VERSION_TEXT(major, minor) "Velkora Library " VELK_TEXT(major) "." VELK_TEXT(minor)
constexpr char kVersion[] = VELK_VERSION_TEXT(VELK_VERSION_MAJOR, VELK_VERSION_MINOR);
} // namespace

extern "C" {

VELK_EXPORT void VELK_CALL Initialize(void) {
    Guarded(0, [] {
        // Inside a host callback the library's frames are beneath: refused.
        if (THostCall::Active())
            return 0;
        LibraryInitialize();
        return 0;
    });
}

VELK_EXPORT void VELK_CALL Finalize(void) {
    Guarded(0, [] {
        if (!DeferFinalize())
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

VELK_EXPORT int32_t VELK_CALL GetComPort(int32_t index, char *buffer) {
    return Guarded<int32_t>(-1, [&] {
        std::vector<std::string> names;
        TCustomComPort::EnumComPorts(names);
        const auto count = static_cast<int32_t>(names.size());
        if (index == -1)
            return count;
        if (index < 0 || index >= count)
            throw EVelk(Format("List index out of bounds (%d)", index));
        // As the system's port list always answered: the length counts one
        // terminating zero, and the copy writes the name, that zero and one more.
        const std::string &name = names[index];
        if (buffer != nullptr) {
            std::memcpy(buffer, name.data(), name.size());
            buffer[name.size()] = '\0';
            buffer[name.size() + 1] = '\0';
        }
        return static_cast<int32_t>(name.size() + 1);
    });
}

VELK_EXPORT int32_t VELK_CALL OpenComPort(const char *name) {
    return Guarded<int32_t>(0, [&] {
        TLibrary *lib = Library();
        // Inside a host callback the library's frames are beneath: refused.
        if (lib == nullptr || THostCall::Active())
            return 0;
        // The result is the port's state after the error box, if any.
        Guarded(0, [&] {
            lib->Port().SetPort(name != nullptr ? name : "");
            lib->Port().Open();
            return 0;
        });
        return lib->Port().Connected() ? 1 : 0;
    });
}

VELK_EXPORT int32_t VELK_CALL CloseComPort(void) {
    return Guarded<int32_t>(0, [] {
        TLibrary *lib = Library();
        if (lib == nullptr)
            return 0;
        if (DeferClose())
            return 1; // closed as soon as the library has left the callback
        Guarded(0, [&] {
            lib->Port().Close();
            return 0;
        });
        return lib->Port().Connected() ? 0 : 1;
    });
}

VELK_EXPORT int32_t VELK_CALL ComPortConnected(void) {
    return Guarded<int32_t>(0, [] {
        TLibrary *lib = Library();
        return lib != nullptr && lib->Port().Connected() ? 1 : 0;
    });
}

VELK_EXPORT void VELK_CALL ProcessMessages(void) {
    Guarded(0, [] {
        if (Library() != nullptr)
            TMessageQueue::Current().ProcessMessages();
        return 0;
    });
}

VELK_EXPORT int32_t VELK_CALL GetMessageHandle(void) {
    return Guarded<int32_t>(-1, [] {
        TLibrary *lib = Library();
        return lib != nullptr ? lib->Owner->Queue().Handle() : -1;
    });
}

} // extern "C"
