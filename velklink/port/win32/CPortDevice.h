// What the serial port holds of its device on Windows: the communications
// device's handle, opened for overlapped I/O, the events its reads and writes
// complete on, and the event a read sets for the event thread (InputTaken, an
// auto-reset event: bytes announced before have been taken).
#pragma once

#include "velkhandle.h"

struct TPortDevice {
    THandle File;
    THandle ReadDone;
    THandle WriteDone;
    THandle InputTaken;

    THandle::Native Get() const { return File.Get(); }
    explicit operator bool() const { return File.Valid(); }
    void Reset() {
        File.Reset();
        ReadDone.Reset();
        WriteDone.Reset();
        InputTaken.Reset();
    }
};

// Where the list of the system's serial ports is read from: a key under
// HKEY_LOCAL_MACHINE whose values are the port names.
inline constexpr const char *kPortListRoot = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
