// TPortDevice: the serial device on Linux as the port's line: a tty driven
// through termios on a non-blocking descriptor, locked against every other
// open. The event thread waits on its descriptor.
#pragma once

#include "CPortLine.h"
#include "velkdescriptor.h"

#include <cstdint>

class TPortDevice final : public TPortLine {
public:
    // Opens the device that the port's name means (TCustomComPort::DevicePath)
    // exclusively: another open of it, from this process or another, fails
    // with ceOpen.
    explicit TPortDevice(const TCustomComPort &port);
    // Gives up the tty's exclusive use and closes it.
    ~TPortDevice() override;

    // The code a use of a closed port fails with (EBADF).
    static int32_t ClosedCode();
    int Get() const { return tty_.Get(); }

    void Apply(const TCustomComPort &port) override;
    void SetRxThreshold(int32_t count) override;
    int32_t Write(const void *buffer, int32_t count, int64_t limitMs) override;
    int32_t Read(void *buffer, int32_t count, bool discardNull) override;
    int32_t InputCount() override;
    void Purge() override;
    void Watch(TComThread &thread) override;

private:
    TDescriptor tty_;
    int32_t rxThreshold_ = 1; // as the tty has it (VMIN)
};

// Where the list of the system's serial ports is read from.
inline constexpr const char *kPortListRoot = "/sys/class/tty";
