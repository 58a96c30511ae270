// Loads the built libvelklink.so with dlopen and resolves its exports, so tests
// drive the C interface exactly as a host does.
#pragma once

#include "velklink.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>

class VelkLibrary {
public:
    explicit VelkLibrary(const char *path = VELK_LIBRARY_PATH) {
        handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr)
            throw std::runtime_error(std::string("dlopen: ") + dlerror());
    }
    ~VelkLibrary() {
        if (handle_ != nullptr)
            dlclose(handle_);
    }
    VelkLibrary(const VelkLibrary &) = delete;
    VelkLibrary &operator=(const VelkLibrary &) = delete;

    template <typename Fn> Fn Get(const char *name) const {
        void *symbol = dlsym(handle_, name);
        if (symbol == nullptr)
            throw std::runtime_error(std::string("missing export ") + name);
        return reinterpret_cast<Fn>(symbol);
    }

private:
    void *handle_ = nullptr;
};

#define VELK_FN(lib, name) (lib).Get<decltype(&::name)>(#name)
