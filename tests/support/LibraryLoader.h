// The system's loader of shared libraries, for tests: dlopen on Linux,
// LoadLibrary on Windows.
#pragma once

// The loaded library; throws std::runtime_error with the loader's reason.
void *OpenLibrary(const char *path);
// The address of an export; null when there is none.
void *LibrarySymbol(void *library, const char *name);
void CloseLibrary(void *library);
