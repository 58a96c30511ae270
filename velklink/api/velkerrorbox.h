// The library's error box at the C boundary: every export that can fail runs
// its body through Guarded, which shows the message of anything thrown
// (through the one reporting function, RunReportingErrors) and returns the
// failure value, so nothing ever crosses the C boundary.
#pragma once

#include "velkerrorsink.h"
#include "velklibrary.h"

template <typename R, typename Body> R Guarded(R failure, Body &&body) noexcept {
    const TLibraryCall call;
    R result = failure;
    RunReportingErrors([&] { result = body(); });
    return result;
}
