#include "mdlLoader.h"

#include "WindowSystem.h"
#include "Windows1252.h"

#include <cmath>
#include <limits>

namespace mdlLoader {

namespace {
TLoaderHost *g_host = nullptr;

// Runs one step of a callback; a step that fails is skipped.
template <typename Step> void Guarded(Step step) noexcept {
    try {
        step();
    } catch (...) {
    }
}
} // namespace

TLoaderState &State() {
    static TLoaderState state;
    return state;
}

void SetHost(TLoaderHost *host) {
    g_host = host;
}
TLoaderHost *Host() {
    return g_host;
}

std::optional<int32_t> TransferPercent(int32_t done, int32_t total) {
    const int64_t product = static_cast<int64_t>(done) * 100;
    if (product > std::numeric_limits<int32_t>::max() || product < std::numeric_limits<int32_t>::min())
        return std::nullopt;
    if (total == 0)
        return std::nullopt;
    return static_cast<int32_t>(std::trunc(static_cast<double>(product) / total));
}

void VELK_CALL HlpEventCallback(int32_t code, int32_t value) {
    TLoaderState &state = State();
    switch (code) {
    case VELK_STATE_NOT_CONNECTED:
        state.TransferDone = 0;
        break;
    case VELK_STATE_IDLE:
        Guarded([] {
            if (g_host != nullptr)
                g_host->ClearDebug();
        });
        break;
    case VELK_EVENT_WRITE_PACKET:
        state.TransferDone = value;
        Guarded([&] {
            if (g_host != nullptr)
                g_host->SetWritePercent(TransferPercent(state.TransferDone, state.TransferTotal).value_or(0));
        });
        break;
    case VELK_EVENT_WRITE_START:
        state.TransferTotal = value;
        break;
    default:
        break;
    }
}

void VELK_CALL LogEventCallback(int32_t kind, const char *text) {
    if (kind != VELK_LOG_TRANSFER)
        return;
    Guarded([&] {
        if (g_host != nullptr)
            g_host->AddDebugLine(FromWindows1252(text));
    });
}

void VELK_CALL ErrorEventCallback(const char *text) {
    Guarded([&] {
        const std::u16string message = FromWindows1252(text);
        if (g_host != nullptr)
            g_host->ShowLibraryError(message);
        else
            ShowErrorBox(message);
    });
}

void VELK_CALL IdleEventCallback() {
    Guarded([] { ProcessWindowEvents(); });
}

} // namespace mdlLoader
