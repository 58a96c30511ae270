// The library initialised for one test, its error box replaced by a list of
// the messages it would have shown (a box would wait for a click); finalised,
// with the box back, at the end.
#pragma once

#include "VelkLibrary.h"

#include <string>
#include <vector>

class LibrarySession {
public:
    explicit LibrarySession(const VelkLibrary &lib) : lib_(lib) {
        Errors().clear();
        VELK_FN(lib_, SetErrorEvent)(Capture);
        VELK_FN(lib_, Initialize)();
    }
    ~LibrarySession() {
        VELK_FN(lib_, Finalize)();
        VELK_FN(lib_, SetErrorEvent)(nullptr);
    }
    LibrarySession(const LibrarySession &) = delete;
    LibrarySession &operator=(const LibrarySession &) = delete;

    // The messages shown since the session began.
    static std::vector<std::string> &Errors() {
        static std::vector<std::string> errors;
        return errors;
    }

private:
    static void VELK_CALL Capture(const char *text) { Errors().emplace_back(text); }

    const VelkLibrary &lib_;
};
