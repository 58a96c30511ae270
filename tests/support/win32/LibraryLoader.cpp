#include <windows.h>

#include "LibraryLoader.h"

#include <stdexcept>
#include <string>

void *OpenLibrary(const char *path) {
    HMODULE library = ::LoadLibraryA(path);
    if (library == nullptr)
        throw std::runtime_error("LoadLibrary " + std::string(path) + ": error " + std::to_string(::GetLastError()));
    return reinterpret_cast<void *>(library);
}

void *LibrarySymbol(void *library, const char *name) {
    return reinterpret_cast<void *>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void *library) {
    if (library != nullptr)
        ::FreeLibrary(static_cast<HMODULE>(library));
}
