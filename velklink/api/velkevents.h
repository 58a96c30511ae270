// TEvents: holds the host's event and log callbacks and relays the transfer
// engine's events and both logs' lines to them.
#pragma once

#include "velklink.h"

#include <cstdint>
#include <string>

class velk_Log;

class TEvents {
public:
    VELK_EventCallback EventCallback = nullptr;
    VELK_LogCallback LogCallback = nullptr;

    // Output of the transfer engine's events.
    void HLProtocolEvent(const void *sender, int32_t code, int32_t value) const;
    // Output handler of the transfer log: lines of kind 1.
    void HLProtocolLog(velk_Log &sender, const std::string &text) const;
    // Output handler of the link log: lines of kind 0.
    void LLProtocolLog(velk_Log &sender, const std::string &text) const;
};
