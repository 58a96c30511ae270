// TSessionFailure: how a session call fails, as the session interface reports
// it: a result code and a message in UTF-8 with its cause. Everything a
// session runs raises this at the end; the exports turn it into their result.
#pragma once

#include "velklink.h"

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

class TSessionFailure : public std::runtime_error {
public:
    TSessionFailure(velk_result code, const std::string &message, int32_t systemCode = 0)
        : std::runtime_error(message), code_(code), systemCode_(systemCode) {}
    velk_result Code() const { return code_; }
    // The system's error code behind the failure (errno, GetLastError), 0 when none.
    int32_t SystemCode() const { return systemCode_; }

private:
    velk_result code_;
    int32_t systemCode_;
};

// A number in a message. (Not std::to_string: its template would be one more
// symbol in the library's dynamic table.)
inline std::string Decimal(int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    return text;
}
