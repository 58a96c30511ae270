// TPortLine: the line a serial port drives while it is open, chosen once at
// open from the port's name: the system's serial device (TPortDevice, in
// posix/ and win32/) or a line reached over the network (TRemoteLine). The
// port keeps its settings, delivery and events; the line only moves bytes and
// applies the settings it is given.
#pragma once

#include <cstdint>

class TComThread;
class TCustomComPort;

class TPortLine {
public:
    virtual ~TPortLine() = default;
    TPortLine(const TPortLine &) = delete;
    TPortLine &operator=(const TPortLine &) = delete;

    // Applies the port's line settings (speed, framing, parity, flow control,
    // modem lines); ceLineSettings when the device refuses them.
    virtual void Apply(const TCustomComPort &port) = 0;
    // Received-data notices wait for count bytes (1..255), where the line can
    // wait for a count; elsewhere every arrival is noticed.
    virtual void SetRxThreshold(int32_t count) = 0;
    // Writes all count bytes within limitMs (0: no limit); ceWrite on failure
    // or time-out.
    virtual int32_t Write(const void *buffer, int32_t count, int64_t limitMs) = 0;
    // Up to count bytes that have arrived, NUL bytes dropped when discardNull;
    // never waits. ceRead on failure, also when the line has gone.
    virtual int32_t Read(void *buffer, int32_t count, bool discardNull) = 0;
    // Bytes waiting; ceInputCount on failure.
    virtual int32_t InputCount() = 0;
    // Drops the input that has arrived, as the port closes; never waits and
    // never fails (a line that has gone has nothing to drop).
    virtual void Purge() = 0;
    // The last look at the line stopped with bytes possibly left that no new
    // arrival will announce.
    virtual bool Backlog() const { return false; }
    // Hands the event thread what it waits on for this kind of line.
    virtual void Watch(TComThread &thread) = 0;

protected:
    TPortLine() = default;
};
