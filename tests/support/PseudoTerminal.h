// A pseudo-terminal pair for tests of the serial port: the port opens the slave
// by its path, the test plays the far end on the master.
#pragma once

#include "velkdescriptor.h"

#include <poll.h>
#include <pty.h>
#include <termios.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

class PseudoTerminal {
public:
    PseudoTerminal() {
        int master = -1, slave = -1;
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        master_.Reset(master);
        slave_.Reset(slave);
        path_ = name;
    }

    const std::string &Path() const { return path_; }
    int Master() const { return master_.Get(); }
    // The test's own descriptor of the slave, opened before the port's: it reads
    // back the line settings the port applied.
    int Slave() const { return slave_.Get(); }
    termios Settings() const {
        termios t{};
        ::tcgetattr(slave_.Get(), &t);
        return t;
    }

    void Send(const std::string &bytes) const {
        if (::write(master_.Get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("write to the master failed");
    }
    // What has arrived at the master within timeoutMs.
    std::string Receive(size_t count, int timeoutMs = 5000) const {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master_.Get(), POLLIN, 0};
            if (::poll(&p, 1, 50) == 1) {
                char buffer[4096];
                ssize_t n = ::read(master_.Get(), buffer, sizeof buffer);
                if (n > 0)
                    got.append(buffer, static_cast<size_t>(n));
            }
        }
        return got;
    }
    // The far end vanishes: the slave side hangs up.
    void CloseMaster() { master_.Reset(); }

private:
    TDescriptor master_;
    TDescriptor slave_;
    std::string path_;
};

// Polls condition every millisecond for at most timeoutMs; true once it holds.
template <typename Condition> bool Eventually(Condition condition, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
