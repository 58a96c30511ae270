// Debian's ser2net (version 4) run in the foreground for a test or the
// benchmark, serving one serial device on 127.0.0.1 through a telnet accepter
// with RFC 2217 and a raw TCP accepter, plus a telnet accepter whose device
// does not exist (for the server's "Device open failure"). Ports are picked
// free at the start; the server is killed and reaped at the end.
#pragma once

#include "TempFolder.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

extern char **environ;

class Ser2netServer {
public:
    // The program, or empty when it is not installed.
    static std::string Program() {
        for (const char *path : {"/usr/sbin/ser2net", "/usr/bin/ser2net"})
            if (::access(path, X_OK) == 0)
                return path;
        return {};
    }

    explicit Ser2netServer(const std::string &device) {
        telnetPort_ = FreePort();
        rawPort_ = FreePort();
        brokenPort_ = FreePort();
        std::ostringstream yaml;
        auto connection = [&](const char *name, const std::string &accepter, const std::string &dev) {
            yaml << "connection: &" << name << "\n"
                 << "  accepter: " << accepter << "\n"
                 << "  connector: serialdev," << dev << ",115200n81,local\n"
                 << "  options:\n"
                 << "    chardelay: false\n";
        };
        connection("rfc2217", "telnet(rfc2217),tcp,127.0.0.1," + std::to_string(telnetPort_), device);
        connection("raw", "tcp,127.0.0.1," + std::to_string(rawPort_), device);
        connection("broken", "telnet(rfc2217),tcp,127.0.0.1," + std::to_string(brokenPort_),
                   (folder_.Path() / "no-such-device").string());
        const std::string config = (folder_.Path() / "ser2net.yaml").string();
        std::ofstream(config) << yaml.str();
        const std::string program = Program();
        if (program.empty())
            throw std::runtime_error("ser2net is not installed");
        const std::string pidFile = (folder_.Path() / "ser2net.pid").string();
        // -n: in the foreground; -u: no UUCP lock files (a test's device is its own).
        std::string args[] = {program, "-n", "-u", "-c", config, "-P", pidFile};
        char *argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(),
                        args[4].data(), args[5].data(), args[6].data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // Its complaints about mDNS on a machine without it are no test's business.
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            throw std::runtime_error("ser2net did not start");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Listening(telnetPort_) || !Listening(rawPort_) || !Listening(brokenPort_)) {
            if (std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("ser2net did not listen within 10 s");
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~Ser2netServer() { Kill(); }
    Ser2netServer(const Ser2netServer &) = delete;
    Ser2netServer &operator=(const Ser2netServer &) = delete;

    std::string Rfc2217Name() const { return "rfc2217://127.0.0.1:" + std::to_string(telnetPort_); }
    std::string SocketName() const { return "socket://127.0.0.1:" + std::to_string(rawPort_); }
    std::string BrokenName() const { return "rfc2217://127.0.0.1:" + std::to_string(brokenPort_); }
    uint16_t TelnetPort() const { return telnetPort_; }

    // Ends the server at once, its connections with it.
    void Kill() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // A TCP port of 127.0.0.1 that nothing listens on now.
    static uint16_t FreePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
            ::close(fd);
            throw std::runtime_error("no free TCP port");
        }
        ::close(fd);
        return ntohs(address.sin_port);
    }

private:
    // Whether a socket listens on 127.0.0.1:port, from the kernel's table (a
    // test connection would make the server open its device).
    static bool Listening(uint16_t port) {
        std::ifstream table("/proc/net/tcp");
        std::string line;
        char wanted[32];
        std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            if (fields >> slot >> local >> remote >> state && local == wanted && state == "0A")
                return true;
        }
        return false;
    }

    TempFolder folder_;
    uint16_t telnetPort_ = 0, rawPort_ = 0, brokenPort_ = 0;
    pid_t pid_ = -1;
};
