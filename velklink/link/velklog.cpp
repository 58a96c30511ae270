#include "velklog.h"

void velk_Log::Log(const std::string &text) {
    if (OnLog)
        OnLog(*this, text);
}

void velk_Log::Banner(const std::string &text) {
    std::string rule(text.size(), '=');
    Log(rule);
    Log(text);
    Log(rule);
}

// Both logs are created when the library is loaded and freed when it is unloaded.
namespace {
velk_Log g_linkLog;
velk_Log g_transferLog;
} // namespace

velk_Log &LinkLog() {
    return g_linkLog;
}
velk_Log &TransferLog() {
    return g_transferLog;
}
