// TDescriptor: owns one file descriptor and closes it when destroyed.
#pragma once

#include <unistd.h>

#include <utility>

class TDescriptor {
public:
    TDescriptor() = default;
    explicit TDescriptor(int fd) : fd_(fd) {}
    ~TDescriptor() { Reset(); }
    TDescriptor(TDescriptor &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    TDescriptor &operator=(TDescriptor &&other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.fd_, -1));
        return *this;
    }
    TDescriptor(const TDescriptor &) = delete;
    TDescriptor &operator=(const TDescriptor &) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    explicit operator bool() const { return Valid(); }
    // Closes the descriptor held so far and takes fd instead.
    void Reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};
