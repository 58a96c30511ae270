// The root of the library's exceptions. Every class of the library raises its
// own descendant (EBuffer, ELLPacket, EComPort, ...); each carries only a
// message text in Windows-1252.
#pragma once

#include <exception>
#include <string>
#include <utility>

class EVelk : public std::exception {
public:
    explicit EVelk(std::string message) : message_(std::move(message)) {}
    const char *what() const noexcept override { return message_.c_str(); }
    const std::string &Message() const noexcept { return message_; }

private:
    std::string message_;
};

// Declares an exception class of the library that only carries a message.
#define VELK_DECLARE_EXCEPTION(Name, Base)                                                                             \
    class Name : public Base {                                                                                         \
    public:                                                                                                            \
        using Base::Base;                                                                                              \
    }
