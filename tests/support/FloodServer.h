// A misbehaving serial server for tests: it listens on a free port of
// 127.0.0.1, takes one connection and, after an optional sound RFC 2217
// opening (it agrees to the COM-PORT-OPTION and answers every line setting),
// sends one pattern over and over as fast as the connection takes it, without
// ever reading what the client sends after the opening. What it sends first
// counts from FirstByte().
#pragma once

#include "velkdescriptor.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>

class FloodServer {
public:
    using Clock = std::chrono::steady_clock;

    // negotiate: play a sound RFC 2217 server up to the line settings first.
    FloodServer(std::string pattern, bool negotiate) : pattern_(std::move(pattern)), negotiate_(negotiate) {
        listener_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (!listener_ || ::bind(listener_.Get(), reinterpret_cast<sockaddr *>(&address), size) != 0 ||
            ::listen(listener_.Get(), 1) != 0 ||
            ::getsockname(listener_.Get(), reinterpret_cast<sockaddr *>(&address), &size) != 0)
            throw std::runtime_error("no listening socket");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~FloodServer() {
        stop_ = true;
        thread_.join();
    }
    FloodServer(const FloodServer &) = delete;
    FloodServer &operator=(const FloodServer &) = delete;

    std::string Name(const char *scheme) const { return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_); }
    // When the flood's first byte went out (the epoch until then).
    Clock::time_point FirstByte() const { return Clock::time_point(Clock::duration(firstByte_.load())); }

private:
    // Waits at most 50 ms for the descriptor; false when the server stops.
    bool Ready(int fd, short events) const {
        pollfd p{fd, events, 0};
        return !stop_ && ::poll(&p, 1, 50) == 1;
    }

    void Send(int fd, const std::string &bytes) {
        for (size_t sent = 0; sent < bytes.size() && !stop_;) {
            if (!Ready(fd, POLLOUT))
                continue;
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0)
                return;
            if (firstByte_.load() == 0)
                firstByte_ = Clock::now().time_since_epoch().count();
            sent += static_cast<size_t>(n);
        }
    }

    // Agrees to the options and answers each COM-PORT-OPTION command c with
    // c + 100 and the value it was sent, until the four line settings are in.
    void Negotiate(int fd) {
        static constexpr char kOpening[] = "\xFF\xFD\x2C\xFF\xFB\x00\xFF\xFB\x03\xFF\xFD\x00\xFF\xFD\x03";
        Send(fd, std::string(kOpening, sizeof kOpening - 1)); // DO COM-PORT-OPTION, WILL and DO BINARY and SGA
        std::string in;
        int answered = 0;
        while (answered < 4 && Ready(fd, POLLIN)) {
            char buffer[512];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            in.append(buffer, static_cast<size_t>(n));
            for (size_t at; (at = in.find("\xFF\xFA\x2C")) != std::string::npos;) {
                const size_t end = in.find("\xFF\xF0", at);
                if (end == std::string::npos)
                    break;
                std::string answer = in.substr(at, end + 2 - at);
                answer[3] = static_cast<char>(answer[3] + 100);
                answered += static_cast<uint8_t>(answer[3]) <= 104 ? 1 : 0;
                in.erase(0, end + 2);
                Send(fd, answer);
            }
        }
    }

    void Run() {
        while (!stop_ && !Ready(listener_.Get(), POLLIN)) {
        }
        if (stop_)
            return;
        TDescriptor connection(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection)
            return;
        if (negotiate_)
            Negotiate(connection.Get());
        firstByte_ = 0;
        std::string block;
        while (block.size() < 64 * 1024)
            block += pattern_;
        while (!stop_)
            Send(connection.Get(), block);
    }

    std::string pattern_;
    bool negotiate_;
    TDescriptor listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<Clock::rep> firstByte_{0};
    std::thread thread_;
};
