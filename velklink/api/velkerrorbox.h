// The library's error box: the one way a caught error reaches the host. Every
// export that can fail runs its body through Guarded, which shows the message of
// anything thrown (library exception or not) and returns the failure value, so
// nothing ever crosses the C boundary.
#pragma once

#include "velkerror.h"
#include "velkerrorsink.h"

#include <exception>
#include <string>

// Shows text (Windows-1252) in the host's error box; returns when it is closed.
inline void ShowErrorBox(const std::string &text) { ReportError(text); }

template <typename R, typename Body> R Guarded(R failure, Body &&body) noexcept {
    try {
        return body();
    } catch (const EVelk &e) {
        ShowErrorBox(e.Message());
    } catch (const std::exception &e) {
        ShowErrorBox(e.what());
    } catch (...) {
        ShowErrorBox("Errore sconosciuto.");
    }
    return failure;
}
