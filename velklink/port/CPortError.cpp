#include "CPortError.h"

#include "velkformat.h"

namespace {

std::string Compose(int32_t code, int32_t systemCode) {
    std::string text = EComPort::Text(code);
    if (systemCode != -1)
        text += Format(" (win error code: %d)", systemCode);
    return text;
}

} // namespace

EComPort::EComPort(int32_t code, int32_t systemCode)
    : EVelk(Compose(code, systemCode)), code_(code), systemCode_(systemCode) {}

EComPort::EComPort(std::string message, int32_t code, int32_t systemCode, std::string cause)
    : EVelk(std::move(message)), code_(code), systemCode_(systemCode), cause_(std::move(cause)) {}

EComPort EComPort::WithCause(int32_t code, int32_t systemCode, std::string cause) {
    return EComPort(Compose(code, systemCode) + ": " + cause, code, systemCode, cause);
}

std::string EComPort::Text(int32_t code) {
    static const char *const texts[] = {
        "Unable to open com port",
        "WriteFile function failed",
        "ReadFile function failed",
        "Invalid Async parameter",
        "PurgeComm function failed",
        "Unable to get async status",
        "SetCommState function failed",
        "SetCommTimeouts failed",
        "SetupComm function failed",
        "ClearCommError function failed",
        "GetCommModemStatus function failed",
        "EscapeCommFunction function failed",
        "TransmitCommChar function failed",
        "Cannot set property while connected",
        "EnumPorts function failed",
        "Failed to store settings",
        "Failed to load settings",
        "Link (un)registration failed",
        "Cannot change led state if ComPort is selected",
        "Cannot wait for event if event thread is created",
        "WaitForEvent method failed",
        "A component is linked to OnRxBuf event",
        "Registry error",
    };
    constexpr int32_t count = sizeof texts / sizeof texts[0];
    return code >= 1 && code <= count ? texts[code - 1] : std::string();
}
