// THandle: owns one Windows kernel handle (file, event) and closes it when
// destroyed. Both null and INVALID_HANDLE_VALUE mean "none". The header keeps
// <windows.h> out of the shared headers that include it: the library's export
// GetVersion and the system's function of that name cannot meet in one file.
#pragma once

#include <cstdint>
#include <utility>

class THandle {
public:
    using Native = void *; // HANDLE

    THandle() = default;
    explicit THandle(Native handle) : handle_(handle) {}
    ~THandle() { Reset(); }
    THandle(THandle &&other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    THandle &operator=(THandle &&other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    THandle(const THandle &) = delete;
    THandle &operator=(const THandle &) = delete;

    Native Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr && handle_ != reinterpret_cast<Native>(intptr_t{-1}); }
    explicit operator bool() const { return Valid(); }
    // Closes the handle held so far and takes handle instead.
    void Reset(Native handle = nullptr);
    // Gives the handle up without closing it.
    Native Release() { return std::exchange(handle_, nullptr); }

private:
    Native handle_ = nullptr;
};

// A new manual-reset event, not signalled; throws std::system_error on failure.
THandle MakeEvent();
