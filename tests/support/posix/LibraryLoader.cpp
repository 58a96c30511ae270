#include "LibraryLoader.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>

void *OpenLibrary(const char *path) {
    void *library = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
    return library;
}

void *LibrarySymbol(void *library, const char *name) {
    return ::dlsym(library, name);
}

void CloseLibrary(void *library) {
    if (library != nullptr)
        ::dlclose(library);
}
