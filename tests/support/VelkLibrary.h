// Loads the built library (libvelklink.so with dlopen, velklink.dll with
// LoadLibrary) and resolves its exports, so tests drive the C interface
// exactly as a host does.
#pragma once

#include "LibraryLoader.h"
#include "velklink.h"

#include <stdexcept>
#include <string>

class VelkLibrary {
public:
    explicit VelkLibrary(const char *path = VELK_LIBRARY_PATH) : handle_(OpenLibrary(path)) {}
    ~VelkLibrary() { CloseLibrary(handle_); }
    VelkLibrary(const VelkLibrary &) = delete;
    VelkLibrary &operator=(const VelkLibrary &) = delete;

    template <typename Fn> Fn Get(const char *name) const {
        void *symbol = LibrarySymbol(handle_, name);
        if (symbol == nullptr)
            throw std::runtime_error(std::string("missing export ") + name);
        return reinterpret_cast<Fn>(symbol);
    }
    void *Handle() const { return handle_; }

private:
    void *handle_;
};

// A file that has seen <windows.h> reaches GetVersion as
// lib.Get<VELK_GetVersionFunction>("GetVersion"): the name is the system's there.
#define VELK_FN(lib, name) (lib).Get<decltype(&::name)>(#name)
