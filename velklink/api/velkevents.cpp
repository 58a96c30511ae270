#include "velkevents.h"

void TEvents::HLProtocolEvent(const void *, int32_t code, int32_t value) const {
    if (EventCallback)
        EventCallback(code, value);
}

void TEvents::HLProtocolLog(velk_Log &, const std::string &text) const {
    if (LogCallback)
        LogCallback(VELK_LOG_TRANSFER, text.c_str());
}

void TEvents::LLProtocolLog(velk_Log &, const std::string &text) const {
    if (LogCallback)
        LogCallback(VELK_LOG_LINK, text.c_str());
}
