// A link engine on a real serial port: either to the in-process simulator or to
// a pseudo-terminal whose far end the test plays byte by byte. Events and link
// log lines are recorded in order.
#pragma once

#include "PseudoTerminal.h"
#include "PumpUntil.h"
#include "velkcport.h"
#include "velkerrorsink.h"
#include "velkllprotocol.h"
#include "velklog.h"
#include "velksim.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using TEventList = std::vector<std::pair<int32_t, int32_t>>;

class LLProtocolTest : public ::testing::Test {
public: // the far-end scripts of parametrised tests drive the fixture too
    void TearDown() override {
        link.reset();
        port.reset();
        sim.reset();
        LinkLog().OnLog = nullptr;
        SetErrorSink(nullptr);
        errors().clear();
    }

    void Connect(const std::string &path, TLLTimeouts timeouts = TLLTimeouts()) {
        port = std::make_unique<velk_CPort>();
        port->SetPort(path);
        port->Open();
        LinkLog().OnLog = [this](velk_Log &, const std::string &line) { lines.push_back(line); };
        SetErrorSink([](const char *text) { errors().push_back(text); });
        link = std::make_unique<velk_LLProtocol>(
            *port, [this](velk_LLProtocol &, int32_t code, int32_t value) { events.emplace_back(code, value); },
            timeouts);
        events.clear();
        lines.clear();
    }

    void StartSimulator(bool transferLayer = false) {
        velksim::TSimConfig config;
        config.transferLayer = transferLayer;
        sim = std::make_unique<velksim::TDecoderSim>(config);
        Connect(sim->LinePath());
    }

    void StartScripted(TLLTimeouts timeouts) {
        pty.emplace();
        Connect(pty->Path(), timeouts);
    }

    bool Has(int32_t code) const {
        for (auto &e : events)
            if (e.first == code)
                return true;
        return false;
    }
    bool WaitEvent(int32_t code, int timeoutMs = 10000) {
        return PumpUntil([&] { return Has(code); }, timeoutMs);
    }
    bool Finished() const { return Has(leSendDone) || Has(leReceiveDone) || Has(leError) || Has(leTimeout); }
    bool WaitFinished(int timeoutMs = 30000) {
        return PumpUntil([&] { return Finished(); }, timeoutMs);
    }
    // What the engine writes to the far end, handling messages meanwhile (the
    // engine only answers while its thread handles them).
    std::string Answer(size_t count, int timeoutMs = 5000) {
        std::string got;
        PumpUntil(
            [&] {
                pollfd p{pty->Master(), POLLIN, 0};
                while (got.size() < count && ::poll(&p, 1, 0) == 1) {
                    char c;
                    if (::read(pty->Master(), &c, 1) != 1)
                        break;
                    got += c;
                }
                return got.size() >= count;
            },
            timeoutMs);
        return got;
    }
    // Lines of the log that contain text.
    int CountLines(const std::string &text) const {
        int n = 0;
        for (auto &l : lines)
            if (l.find(text) != std::string::npos)
                ++n;
        return n;
    }

    static std::vector<std::string> &errors() {
        static std::vector<std::string> list;
        return list;
    }

    std::unique_ptr<velksim::TDecoderSim> sim;
    std::optional<PseudoTerminal> pty;
    std::unique_ptr<velk_CPort> port;
    std::unique_ptr<velk_LLProtocol> link;
    TEventList events;
    std::vector<std::string> lines;
};

inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed = 7) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

inline std::string Bytes(const velk_LLPacket &packet) {
    return std::string(reinterpret_cast<const char *>(packet.Memory()), packet.Size());
}

inline std::string Ack() {
    return Bytes(velk_LLPacket(LL_ACK, 0, 0, 0, nullptr));
}
