#include "CPortDevice.h"

#include "CPort.h"
#include "CPortThread.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace {

// USB serial adapters hold small reads for their latency timer unless the
// driver is asked for low latency; every turnaround of the stop-and-wait
// protocol would pay it. Drivers that do not know the request (a
// pseudo-terminal) refuse it, which changes nothing.
void RequestLowLatency(int fd) {
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &serial);
}

bool HungUp(int fd) {
    pollfd state{fd, POLLIN, 0};
    return ::poll(&state, 1, 0) == 1 && (state.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

TPortDevice::TPortDevice(const TCustomComPort &port)
    : tty_(::open(TCustomComPort::DevicePath(port.Port()).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (!tty_)
        throw EComPort(ceOpen, errno);
    // The lock keeps out every other open that asks for it, in this process too;
    // TIOCEXCL keeps out other opens of the tty (except privileged ones).
    if (::flock(tty_.Get(), LOCK_EX | LOCK_NB) != 0 || ::ioctl(tty_.Get(), TIOCEXCL) != 0)
        throw EComPort(ceOpen, errno);
    RequestLowLatency(tty_.Get());
}

TPortDevice::~TPortDevice() {
    ::ioctl(tty_.Get(), TIOCNXCL);
}

int32_t TPortDevice::ClosedCode() {
    return EBADF;
}

void TPortDevice::Purge() {
    ::tcflush(tty_.Get(), TCIFLUSH); // fails harmlessly on a device that is gone
}

void TPortDevice::Watch(TComThread &thread) {
    thread.Watch(*this);
}

int32_t TPortDevice::Write(const void *buffer, int32_t count, int64_t limitMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    const auto *bytes = static_cast<const uint8_t *>(buffer);
    int32_t written = 0;
    while (written < count) {
        const ssize_t n = ::write(tty_.Get(), bytes + written, count - written);
        if (n > 0) {
            written += static_cast<int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            throw EComPort(ceWrite, errno);
        // The output queue is full: wait for room, within the write's time.
        int waitMs = -1;
        if (limitMs > 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                throw EComPort(ceWrite, ETIMEDOUT);
            waitMs = static_cast<int>(std::min<int64_t>(left, 1 << 30));
        }
        pollfd room{tty_.Get(), POLLOUT, 0};
        const int ready = ::poll(&room, 1, waitMs);
        if (ready < 0 && errno != EINTR)
            throw EComPort(ceWrite, errno);
        if (ready > 0 && (room.revents & POLLOUT) == 0)
            throw EComPort(ceWrite, EIO); // hung up or failed
    }
    return written;
}

int32_t TPortDevice::Read(void *buffer, int32_t count, bool discardNull) {
    auto *bytes = static_cast<uint8_t *>(buffer);
    for (;;) {
        const ssize_t n = ::read(tty_.Get(), bytes, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                return 0;
            throw EComPort(ceRead, errno);
        }
        // With no byte waiting a tty read returns 0; so does one that has hung up.
        if (n == 0) {
            if (HungUp(tty_.Get()))
                throw EComPort(ceRead, EIO);
            return 0;
        }
        if (!discardNull)
            return static_cast<int32_t>(n);
        const int32_t kept = static_cast<int32_t>(std::remove(bytes, bytes + n, uint8_t{0}) - bytes);
        if (kept > 0)
            return kept;
        // Only NUL bytes: as if they had not arrived; look for more.
    }
}

int32_t TPortDevice::InputCount() {
    int waiting = 0;
    if (::ioctl(tty_.Get(), FIONREAD, &waiting) != 0)
        throw EComPort(ceInputCount, errno);
    return waiting;
}
