// Where the library's caught errors go: the host's error box installed through
// SetErrorEvent, or, without one, a line "Error: <text>" in UTF-8 on standard
// error. Exports, and the owner-thread message handling that catches exceptions
// escaping port and timer handlers, report through here.
#pragma once

#include <string>

using TErrorSink = void (*)(const char *text);

// Installs the sink (may be null) and returns the previous one.
TErrorSink SetErrorSink(TErrorSink sink);
// Shows text (Windows-1252) to the user; returns when the sink has returned.
void ReportError(const std::string &text);
