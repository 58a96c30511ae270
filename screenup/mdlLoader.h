// mdlLoader: the uploader's state for the whole run of the program, and the
// four callbacks it hands to the library (events, log lines, error texts, idle
// rounds). The callbacks reach the windows through the TLoaderHost that the
// main window registers; they never call back into the library and never let
// anything escape into it. Texts reach the host as UTF-16, converted from the
// library's Windows-1252.
#pragma once

#include "velklink.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// What the callbacks change in the windows.
class TLoaderHost {
public:
    virtual ~TLoaderHost() = default;
    virtual void ClearDebug() = 0;
    virtual void AddDebugLine(const std::u16string &line) = 0;
    // Creates the progress window, hidden, when it does not exist.
    virtual void SetWritePercent(int percent) = 0;
    // The library's error box.
    virtual void ShowLibraryError(const std::u16string &text) = 0;
};

struct TLoaderState {
    // Link packets of the write in progress, as the last event 15 gave it.
    int32_t TransferTotal = 0;
    // Link packets of that write acknowledged so far, as the last event 14 gave it.
    int32_t TransferDone = 0;
    // The size editor has set the values; stays set for the rest of the run.
    bool SizeModified = false;
    // Orig X, Orig Y, Width, Height.
    std::array<int16_t, 4> SizeValues{};
};

namespace mdlLoader {

TLoaderState &State();
void SetHost(TLoaderHost *host);
TLoaderHost *Host();

// TransferDone * 100 / TransferTotal truncated towards zero; nothing when the
// product does not fit 32 bits or there is no total yet.
std::optional<int32_t> TransferPercent(int32_t done, int32_t total);

void VELK_CALL HlpEventCallback(int32_t code, int32_t value);
void VELK_CALL LogEventCallback(int32_t kind, const char *text);
void VELK_CALL ErrorEventCallback(const char *text);
// Lets the window system handle its events while the library waits.
void VELK_CALL IdleEventCallback();

} // namespace mdlLoader
