// EComPort: the serial port component's error, with the component's error code
// and the operating system's: errno on Linux, GetLastError() on Windows; -1
// when there is none. The message keeps the component's wording
// "(win error code: %d)" on every platform, as hosts of the port's texts expect.
#pragma once

#include "velkerror.h"

#include <cstdint>
#include <string>

// The component's error codes; the texts are those of EComPort::Text.
enum TComError : int32_t {
    ceOpen = 1, // the device cannot be opened
    ceWrite,    // write
    ceRead,     // read
    ceAsyncParameter,
    cePurge, // aborting outstanding transfers on close
    ceAsyncStatus,
    ceLineSettings, // line settings
    ceTimeouts,     // time-outs
    ceQueueSizes,   // driver queue sizes
    ceInputCount,   // input count
    ceModemStatus,
    ceEscape,
    ceTransmitChar,
    ceConnected, // a property that cannot change while the port is open
    ceEnumPorts,
    ceStoreSettings,
    ceLoadSettings,
    ceLink,
    ceLedState,
    ceThreadCreated,
    ceWaitForEvent,
    ceRxBufLinked,
    ceRegistry, // the list of the system's ports
};

class EComPort : public EVelk {
public:
    // The table text of code, followed by " (win error code: %d)" with systemCode
    // when systemCode is not -1.
    explicit EComPort(int32_t code, int32_t systemCode = -1);
    // A message of the caller's own, keeping the codes and the cause.
    EComPort(std::string message, int32_t code, int32_t systemCode, std::string cause = {});
    // An error with a cause of its own (a remote port's "127.0.0.1:7000:
    // connection refused"): the message is that of EComPort(code, systemCode)
    // followed by ": " and the cause.
    static EComPort WithCause(int32_t code, int32_t systemCode, std::string cause);

    int32_t Code() const { return code_; }
    // errno on Linux, GetLastError() on Windows; -1 when there is none.
    int32_t SystemCode() const { return systemCode_; }
    // Why, in words, when the system's code does not say it; empty otherwise.
    const std::string &Cause() const { return cause_; }
    // The table text of code (1..23); empty for any other.
    static std::string Text(int32_t code);

private:
    int32_t code_;
    int32_t systemCode_;
    std::string cause_;
};
