#include "benchsimhost.h"

#include "velksim.h"

#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace {

// Reads one line (without its newline); false at the end of the stream.
bool ReadLine(int fd, std::string &line) {
    line.clear();
    char c;
    for (;;) {
        ssize_t got = ::read(fd, &c, 1);
        if (got <= 0)
            return false;
        if (c == '\n')
            return true;
        line += c;
    }
}

void WriteLine(int fd, const std::string &line) {
    std::string text = line + "\n";
    size_t at = 0;
    while (at < text.size()) {
        ssize_t put = ::write(fd, text.data() + at, text.size() - at);
        if (put <= 0)
            return;
        at += static_cast<size_t>(put);
    }
}

// The child: one simulator, served commands until "quit" or the end of the stream.
[[noreturn]] void ServeCommands(int fd) {
    // The decoder answers as soon as a packet's last byte is due, not up to the
    // kernel's default timer slack (50 us) later: its threads inherit this.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    int status = 0;
    try {
        velksim::TSimConfig config;
        config.traceLimit = 0;
        velksim::TDecoderSim sim(config);
        WriteLine(fd, sim.LinePath());
        std::string line;
        while (ReadLine(fd, line)) {
            std::istringstream words(line);
            std::string command;
            words >> command;
            if (command == "quit") {
                WriteLine(fd, "ok");
                break;
            } else if (command == "baud") {
                int32_t baud = 0;
                words >> baud;
                sim.SetBaud(baud);
                WriteLine(fd, "ok");
            } else if (command == "latency") {
                int32_t ms = 0;
                words >> ms;
                sim.SetAdapterLatency(ms);
                WriteLine(fd, "ok");
            } else if (command == "reset") {
                sim.WaitIdle();
                sim.ResetToDemo();
                sim.ResetCounters();
                WriteLine(fd, "ok");
            } else if (command == "traffic") {
                sim.WaitIdle();
                const velksim::TSimCounters c = sim.Counters();
                sim.ResetCounters();
                const int64_t requests = c.syncs + c.readFlashRequests + c.readEepromRequests + c.writeFlashRequests +
                                         c.writeEepromRequests + c.firmwareRequests + c.otherRequests;
                std::ostringstream reply;
                reply << c.bytesReceived + c.bytesSent << ' '
                      << c.flashBytesRead + c.eepromBytesRead + c.flashBytesWritten + c.eepromBytesWritten << ' '
                      << requests;
                WriteLine(fd, reply.str());
            } else {
                WriteLine(fd, "error unknown command");
            }
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "velkbench: simulator: %s\n", error.what());
        status = 1;
    }
    ::close(fd);
    std::_Exit(status);
}

} // namespace

TBenchSimHost::TBenchSimHost() {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        throw std::runtime_error("socketpair failed");
    child_ = ::fork();
    if (child_ < 0)
        throw std::runtime_error("fork failed");
    if (child_ == 0) {
        ::close(pair[0]);
        ServeCommands(pair[1]);
    }
    ::close(pair[1]);
    socket_.Reset(pair[0]);
    if (!ReadLine(socket_.Get(), linePath_) || linePath_.empty())
        throw std::runtime_error("the simulator did not start");
}

TBenchSimHost::~TBenchSimHost() {
    if (child_ <= 0)
        return;
    try {
        Command("quit");
    } catch (...) {
    }
    socket_.Reset();
    int status = 0;
    ::waitpid(child_, &status, 0);
}

std::string TBenchSimHost::Command(const std::string &line) {
    WriteLine(socket_.Get(), line);
    std::string reply;
    if (!ReadLine(socket_.Get(), reply))
        throw std::runtime_error("the simulator ended");
    if (reply.rfind("error", 0) == 0)
        throw std::runtime_error("simulator: " + reply);
    return reply;
}

void TBenchSimHost::SetBaud(int32_t baud) {
    Command("baud " + std::to_string(baud));
}

void TBenchSimHost::SetAdapterLatency(int32_t ms) {
    Command("latency " + std::to_string(ms));
}

void TBenchSimHost::Reset() {
    Command("reset");
}

TBenchTraffic TBenchSimHost::Traffic() {
    std::istringstream reply(Command("traffic"));
    TBenchTraffic traffic;
    reply >> traffic.lineBytes >> traffic.memoryBytes >> traffic.requests;
    return traffic;
}
