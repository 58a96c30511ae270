#include "velkevents.h"

void TEvents::HLProtocolEvent(const void *, int32_t code, int32_t value) const {
    if (EventCallback)
        EventCallback(code, value);
}

void TEvents::HLProtocolLog(velk_Log &, const std::string &text) const {
    if (LogCallback)
        LogCallback(1, text.c_str());
}

void TEvents::LLProtocolLog(velk_Log &, const std::string &text) const {
    if (LogCallback)
        LogCallback(0, text.c_str());
}
