// What the serial port holds of its device on Linux: the tty's descriptor, or
// the connection of a remote port (rfc2217://, socket://).
#pragma once

#include "CPortRemote.h"
#include "velkdescriptor.h"

#include <cerrno>
#include <memory>

struct TPortDevice {
    TDescriptor Tty;
    std::unique_ptr<TRemoteLine> Remote;

    // The descriptor the event thread waits on.
    int Get() const { return Remote ? static_cast<int>(Remote->Socket().WaitHandle()) : Tty.Get(); }
    explicit operator bool() const { return Tty.Valid() || Remote != nullptr; }
    void Reset() {
        Tty.Reset();
        Remote.reset();
    }
};

// Where the list of the system's serial ports is read from.
inline constexpr const char *kPortListRoot = "/sys/class/tty";
