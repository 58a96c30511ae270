// TPortDevice: the serial device on Windows as the port's line: the
// communications device's handle, opened for overlapped I/O, the events its
// reads and writes complete on, and the event a read sets for the event thread
// (InputTaken, an auto-reset event: bytes announced before have been taken).
// Reads take only what the driver reports waiting, so they never wait; a write
// waits for its completion within its time.
#pragma once

#include "CPortLine.h"
#include "velkhandle.h"

#include <cstdint>

class TPortDevice final : public TPortLine {
public:
    // Opens the device that the port's name means (TCustomComPort::DevicePath)
    // with the port's queue sizes. Communications devices open exclusively: a
    // second open fails with ceOpen (ERROR_ACCESS_DENIED).
    explicit TPortDevice(const TCustomComPort &port);

    // The code a use of a closed port fails with (ERROR_INVALID_HANDLE).
    static int32_t ClosedCode();
    THandle::Native Get() const { return file_.Get(); }
    THandle::Native InputTaken() const { return inputTaken_.Get(); }

    void Apply(const TCustomComPort &port) override;
    // The communications driver notices every arrival (EV_RXCHAR); its own
    // buffering already bundles the bytes of a fast line.
    void SetRxThreshold(int32_t) override {}
    int32_t Write(const void *buffer, int32_t count, int64_t limitMs) override;
    int32_t Read(void *buffer, int32_t count, bool discardNull) override;
    int32_t InputCount() override;
    // Also ends the device's outstanding operations.
    void Purge() override;
    void Watch(TComThread &thread) override;

private:
    // Declared before the device's handle, so that it closes first.
    THandle readDone_;
    THandle writeDone_;
    THandle inputTaken_;
    THandle file_;
};

// Where the list of the system's serial ports is read from: a key under
// HKEY_LOCAL_MACHINE whose values are the port names.
inline constexpr const char *kPortListRoot = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
