// Where the library's caught errors go: the host's error box installed through
// SetErrorEvent, or, without one, a line "Error: <text>" in UTF-8 on standard
// error. Exports, and the owner-thread message handling that catches exceptions
// escaping port and timer handlers, report through here.
#pragma once

#include "velklink.h"

#include <functional>
#include <string>

// The host's own callback type, calling convention included (stdcall on 32-bit
// Windows), so SetErrorEvent installs what it is given without a conversion.
using TErrorSink = VELK_ErrorCallback;

// Sends the errors reported on the thread that creates it to route instead of
// the sink, while it lives: a decoder session hears the errors of its own port
// and timer handlers, which run on its thread, and nobody else's. Routes nest;
// created and destroyed on one thread.
class TErrorRoute {
public:
    explicit TErrorRoute(std::function<void(const std::string &text)> route);
    ~TErrorRoute();
    TErrorRoute(const TErrorRoute &) = delete;
    TErrorRoute &operator=(const TErrorRoute &) = delete;

private:
    friend void ReportError(const std::string &text);
    std::function<void(const std::string &text)> route_;
    TErrorRoute *previous_;
};

// Installs the sink (may be null) and returns the previous one.
TErrorSink SetErrorSink(TErrorSink sink);
// Shows text (Windows-1252) to the user, or hands it to the calling thread's
// route; returns when the sink has returned.
void ReportError(const std::string &text);
// Runs work; whatever it throws is shown through ReportError instead of
// propagating (a library exception's message, any other exception's text, or
// "Errore sconosciuto."). True when work returned. The exports, and the
// handlers of port notices and timer expiries, run this way.
bool RunReportingErrors(const std::function<void()> &work) noexcept;
