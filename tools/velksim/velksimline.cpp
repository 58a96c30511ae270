#include "velksimline.h"

#include "velksimerror.h"

#include "CPortSpeed.h"
#include "velkformat.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

namespace velksim {

namespace {

// How long a write may wait for the PC to take bytes before they are dropped.
constexpr auto WriteTimeout = std::chrono::seconds(5);

std::string SystemError() {
    return std::strerror(errno);
}

void MakeRaw(int fd, speed_t speed) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        throw ESimLine(Format("Cannot set up the line: %s", SystemError()));
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, speed);
    ::cfsetospeed(&settings, speed);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0)
        throw ESimLine(Format("Cannot set up the line: %s", SystemError()));
}

// A real serial device's speed: 1200 to 921600 baud, as termios names them.
speed_t SpeedOf(int32_t baud) {
    const speed_t speed = baud >= 1200 ? TermiosSpeed(baud) : B0;
    if (speed == B0)
        throw ESimLine(Format("A serial device cannot run at %d baud; use 1200 to 921600", baud));
    return speed;
}

// Milliseconds for poll, rounded up, -1 for no deadline.
int PollTimeout(TSimLine::Clock::time_point deadline) {
    if (deadline == TSimLine::Clock::time_point::max())
        return -1;
    auto left = deadline - TSimLine::Clock::now();
    if (left <= TSimLine::Clock::duration::zero())
        return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return int(std::min<int64_t>(ms, INT_MAX));
}

} // namespace

TSimLine::TSimLine(const std::string &device, const std::string &linkPath, int32_t baud) {
    wake_.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wake_)
        throw ESimLine(Format("Cannot create the simulator's wake-up signal: %s", SystemError()));
    if (device.empty()) {
        OpenPseudoTerminal();
        pacer_.SetBaud(baud);
    } else {
        OpenDevice(device, baud);
    }
    if (!linkPath.empty())
        MakeLink(linkPath);
}

TSimLine::~TSimLine() {
    if (linkPath_.empty())
        return;
    // Remove the link only while it still names this line.
    std::error_code error;
    if (std::filesystem::read_symlink(linkPath_, error) == devicePath_)
        std::filesystem::remove(linkPath_, error);
}

void TSimLine::OpenPseudoTerminal() {
    int near = -1, far = -1;
    char name[PATH_MAX] = {};
    if (::openpty(&near, &far, name, nullptr, nullptr) != 0)
        throw ESimLine(Format("Cannot create a pseudo-terminal: %s", SystemError()));
    near_.Reset(near);
    far_.Reset(far);
    devicePath_ = name;
    pseudoTerminal_ = true;
    ::fcntl(near, F_SETFD, FD_CLOEXEC);
    ::fcntl(far, F_SETFD, FD_CLOEXEC);
    ::fcntl(near, F_SETFL, ::fcntl(near, F_GETFL) | O_NONBLOCK);
    // Raw from the start: no echo, no line editing, until the PC sets its own.
    MakeRaw(far, B115200);
    watch_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!watch_ || ::inotify_add_watch(watch_.Get(), name, IN_OPEN | IN_CLOSE) < 0)
        throw ESimLine(Format("Cannot watch the pseudo-terminal %s: %s", devicePath_, SystemError()));
}

void TSimLine::OpenDevice(const std::string &device, int32_t baud) {
    speed_t speed = SpeedOf(baud > 0 ? baud : 115200);
    near_.Reset(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!near_)
        throw ESimLine(Format("Cannot open %s: %s", device, SystemError()));
    if (!::isatty(near_.Get()))
        throw ESimLine(Format("%s is not a serial device", device));
    MakeRaw(near_.Get(), speed);
    ::tcflush(near_.Get(), TCIOFLUSH);
    devicePath_ = device;
}

void TSimLine::MakeLink(const std::string &linkPath) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path link = fs::absolute(linkPath, error);
    if (error)
        throw ESimLine(Format("Cannot make the link %s: %s", linkPath, error.message()));
    auto status = fs::symlink_status(link, error);
    if (fs::exists(status) && !fs::is_symlink(status))
        throw ESimLine(Format("Cannot make the link %s: a file of that name exists and is not a "
                              "symbolic link",
                              link.string()));
    // A new link beside the old one, renamed over it, so the name is never missing.
    fs::path temporary = link;
    temporary += Format(".velksim-%d", int(::getpid()));
    fs::remove(temporary, error);
    fs::create_symlink(devicePath_, temporary, error);
    if (!error)
        fs::rename(temporary, link, error);
    if (error) {
        // The cause is kept: the clean-up's own result would overwrite it.
        const std::string cause = error.message();
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw ESimLine(Format("Cannot make the link %s: %s", link.string(), cause));
    }
    linkPath_ = link.string();
}

void TSimLine::Wake() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_.Get(), &one, sizeof one);
}

void TSimLine::RequestStop() {
    stop_.store(true);
    Wake();
}

void TSimLine::CheckStop() const {
    if (stop_.load())
        throw TSimStopped{};
}

void TSimLine::HandleOpenEvents() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = ::read(watch_.Get(), buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (char *p = buffer; p < buffer + n;) {
            auto *event = reinterpret_cast<inotify_event *>(p);
            p += sizeof(inotify_event) + event->len;
            bool opened = (event->mask & IN_OPEN) != 0;
            if (!opened && (event->mask & IN_CLOSE) == 0)
                continue;
            if (!opened && far_)
                ::ioctl(far_.Get(), TIOCNXCL); // let the PC open the line again
            if (opened)
                crossed_ = 0;
            if (openListener_)
                openListener_(opened);
        }
    }
}

TSimLine::TWait TSimLine::Wait(Clock::time_point deadline) {
    for (;;) {
        CheckStop();
        if (!near_)
            throw ESimLine("The line has been hung up");
        pollfd fds[3] = {{near_.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}, {watch_.Get(), POLLIN, 0}};
        int count = watch_ ? 3 : 2;
        int ready = ::poll(fds, count, PollTimeout(deadline));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            throw ESimLine(Format("Waiting on the line failed: %s", SystemError()));
        }
        if (count == 3 && fds[2].revents != 0)
            HandleOpenEvents();
        if (fds[1].revents != 0) {
            uint64_t value = 0;
            [[maybe_unused]] ssize_t n = ::read(wake_.Get(), &value, sizeof value);
            CheckStop();
            return TWait::Woken;
        }
        if (fds[0].revents & POLLIN)
            return TWait::Input;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            throw ESimLine(Format("The line %s has gone (hang-up or error)", devicePath_));
        if (ready == 0 || Clock::now() >= deadline)
            return TWait::Timeout;
    }
}

void TSimLine::SleepUntil(Clock::time_point deadline) {
    for (;;) {
        CheckStop();
        auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero())
            return;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(remaining).count();
        timespec left{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
        pollfd wake{wake_.Get(), POLLIN, 0};
        int ready = ::ppoll(&wake, 1, &left, nullptr);
        if (ready < 0 && errno != EINTR)
            throw ESimLine(Format("Waiting failed: %s", SystemError()));
        if (ready > 0) {
            // Posted work waits for the simulator's loop; only a stop ends the sleep.
            uint64_t value = 0;
            [[maybe_unused]] ssize_t n = ::read(wake_.Get(), &value, sizeof value);
        }
    }
}

void TSimLine::SetHangUpAfterBytes(int64_t bytes) {
    crossed_ = 0;
    hangUpAfterBytes_ = bytes;
}

int32_t TSimLine::Allow(int32_t n) {
    const int64_t budget = hangUpAfterBytes_.load();
    if (budget < 0)
        return n;
    Crossed(0); // a budget already spent (one of 0 bytes) hangs up before any byte
    return int32_t(std::clamp<int64_t>(budget - crossed_.load(), 0, n));
}

void TSimLine::Crossed(int32_t n) {
    const int64_t budget = hangUpAfterBytes_.load();
    if ((crossed_ += n) < budget || budget < 0)
        return;
    HangUp();
    throw ESimLine(Format("hung up the line after %d bytes (fault)", budget));
}

int32_t TSimLine::Read(uint8_t *bytes, int32_t n) {
    if (!near_)
        throw ESimLine("The line has been hung up");
    n = Allow(n);
    for (;;) {
        ssize_t got = ::read(near_.Get(), bytes, size_t(n));
        if (got >= 0) {
            if (got > 0) {
                pacer_.Received(got, Clock::now());
                Crossed(int32_t(got));
            }
            return int32_t(got);
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        throw ESimLine(Format("Reading the line %s failed: %s", devicePath_, SystemError()));
    }
}

bool TSimLine::WriteChunk(const uint8_t *bytes, int32_t n, Clock::time_point deadline) {
    int32_t done = 0;
    while (done < n) {
        ssize_t wrote = ::write(near_.Get(), bytes + done, size_t(n - done));
        if (wrote > 0) {
            done += int32_t(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            throw ESimLine(Format("Writing the line %s failed: %s", devicePath_, SystemError()));
        CheckStop();
        pollfd out{near_.Get(), POLLOUT, 0};
        int timeout = PollTimeout(deadline);
        if (timeout == 0)
            return false;
        ::poll(&out, 1, std::min(timeout, 100));
    }
    return true;
}

bool TSimLine::Write(const uint8_t *bytes, int32_t n) {
    // Behind a USB adapter the bytes that do not fill its last packet reach
    // the PC only when its latency timer runs out.
    const int32_t tail = adapter_.HeldTail(n);
    if (tail == 0)
        return WritePaced(bytes, n);
    if (!WritePaced(bytes, n - tail))
        return false;
    SleepUntil(Clock::now() + adapter_.Latency());
    return WritePaced(bytes + n - tail, tail);
}

bool TSimLine::WritePaced(const uint8_t *bytes, int32_t n) {
    if (!near_)
        throw ESimLine("The line has been hung up");
    auto deadline = Clock::now() + WriteTimeout;
    int32_t chunk = pacer_.Paced() ? pacer_.ChunkBytes() : n;
    for (int32_t done = 0; done < n;) {
        int32_t size = Allow(std::min(chunk, n - done));
        if (pacer_.Paced()) {
            // The bytes are handed to the line at once: each chunk leaves right
            // after the one before it, so a late wake-up does not add up, and it
            // reaches the PC when its last byte would have.
            SleepUntil(pacer_.Sent(size, done == 0 ? Clock::now() : Clock::time_point{}));
        }
        if (!WriteChunk(bytes + done, size, deadline))
            return false;
        done += size;
        Crossed(size);
    }
    return true;
}

int32_t TSimLine::PendingInput() const {
    std::lock_guard lock(closing_);
    int pending = 0;
    if (!near_ || ::ioctl(near_.Get(), FIONREAD, &pending) != 0)
        return 0;
    return pending;
}

void TSimLine::HangUp() {
    std::lock_guard lock(closing_);
    watch_.Reset();
    far_.Reset();
    near_.Reset();
}

} // namespace velksim
