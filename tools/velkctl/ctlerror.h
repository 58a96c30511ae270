// The two ways a velkctl command fails, with their exit codes: a usage error or
// a bad argument found before the decoder is touched (2), and an operation that
// failed (1). The library's failures are failed operations.
#pragma once

#include <stdexcept>
#include <string>

inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

class ECtlUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ECtlFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
