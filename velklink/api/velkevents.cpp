#include "velkevents.h"

#include "velkhostcall.h"

void TEvents::HLProtocolEvent(const void *, int32_t code, int32_t value) const {
    if (EventCallback) {
        const THostCall call;
        EventCallback(code, value);
    }
}

void TEvents::HLProtocolLog(velk_Log &, const std::string &text) const {
    if (LogCallback) {
        const THostCall call;
        LogCallback(VELK_LOG_TRANSFER, text.c_str());
    }
}

void TEvents::LLProtocolLog(velk_Log &, const std::string &text) const {
    if (LogCallback) {
        const THostCall call;
        LogCallback(VELK_LOG_LINK, text.c_str());
    }
}
