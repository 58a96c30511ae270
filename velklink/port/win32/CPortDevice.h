// What the serial port holds of its device on Windows: the communications
// device's handle, opened for overlapped I/O, the events its reads and writes
// complete on, and the event a read sets for the event thread (InputTaken, an
// auto-reset event: bytes announced before have been taken). A remote port
// (rfc2217://, socket://) holds its connection instead.
#pragma once

#include "CPortRemote.h"
#include "velkhandle.h"

#include <memory>

struct TPortDevice {
    THandle File;
    THandle ReadDone;
    THandle WriteDone;
    THandle InputTaken;
    std::unique_ptr<TRemoteLine> Remote;

    THandle::Native Get() const { return File.Get(); }
    explicit operator bool() const { return File.Valid() || Remote != nullptr; }
    void Reset() {
        Remote.reset();
        File.Reset();
        ReadDone.Reset();
        WriteDone.Reset();
        InputTaken.Reset();
    }
};

// Where the list of the system's serial ports is read from: a key under
// HKEY_LOCAL_MACHINE whose values are the port names.
inline constexpr const char *kPortListRoot = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
