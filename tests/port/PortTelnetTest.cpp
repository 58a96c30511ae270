// The remote ports' pure parts: the port names and the Telnet filter, every
// stream also fed split at each byte, as reads of a socket may cut it.
#include "CPortRemoteName.h"
#include "CPortTelnet.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PortRemoteNameTest, NamesAndTheirParts) {
    const struct {
        const char *name;
        bool remote;
        TRemoteKind kind;
        const char *host;
        uint16_t port;
        const char *address;
    } cases[] = {
        {"rfc2217://127.0.0.1:7000", true, TRemoteKind::Rfc2217, "127.0.0.1", 7000, "127.0.0.1:7000"},
        {"SOCKET://bench.lan:1", true, TRemoteKind::Socket, "bench.lan", 1, "bench.lan:1"},
        {"rfc2217://[::1]:65535", true, TRemoteKind::Rfc2217, "::1", 65535, "[::1]:65535"},
        {"socket://[fe80::1%eth0]:23", true, TRemoteKind::Socket, "fe80::1%eth0", 23, "[fe80::1%eth0]:23"},
        {"/dev/ttyUSB0", false, {}, "", 0, ""},
        {"COM3", false, {}, "", 0, ""},
        {"rfc2217:/host:7000", false, {}, "", 0, ""},
        {"telnet://host:7000", false, {}, "", 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = ParseRemoteName(c.name);
        ASSERT_EQ(parsed.has_value(), c.remote);
        if (!c.remote)
            continue;
        EXPECT_EQ(parsed->Error, "");
        EXPECT_EQ(parsed->Kind, c.kind);
        EXPECT_EQ(parsed->Host, c.host);
        EXPECT_EQ(parsed->Port, c.port);
        EXPECT_EQ(parsed->Address(), c.address);
    }
}

TEST(PortRemoteNameTest, MalformedNamesSayWhatIsWrong) {
    const struct {
        const char *name;
        const char *error;
    } cases[] = {
        {"rfc2217://host", "no port number in rfc2217://host (use rfc2217://HOST:PORT)"},
        {"rfc2217://:7000", "no valid host in rfc2217://:7000 (use rfc2217://HOST:PORT)"},
        {"socket://host:0", "no port number from 1 to 65535 in socket://host:0 (use socket://HOST:PORT)"},
        {"socket://host:65536", "no port number from 1 to 65535 in socket://host:65536 (use socket://HOST:PORT)"},
        {"socket://host:70x", "no port number from 1 to 65535 in socket://host:70x (use socket://HOST:PORT)"},
        {"rfc2217://host:", "no port number from 1 to 65535 in rfc2217://host: (use rfc2217://HOST:PORT)"},
        {"rfc2217://::1:7000", "an IPv6 HOST needs brackets in rfc2217://::1:7000 (rfc2217://[::1]:PORT)"},
        {"rfc2217://[::1]7000", "no port number in rfc2217://[::1]7000 (use rfc2217://HOST:PORT)"},
        {"rfc2217://[]:7000", "no valid host in rfc2217://[]:7000 (use rfc2217://HOST:PORT)"},
        {"rfc2217://a/b:7000", "no valid host in rfc2217://a/b:7000 (use rfc2217://HOST:PORT)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = ParseRemoteName(c.name);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->Error, c.error);
    }
}

using F = TTelnetFilter;

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s += char(b);
    return s;
}

// What the filter makes of a stream, fed in the pieces that cuts mark.
struct TFiltered {
    std::string data, reply;
    bool agreed = false, refused = false;
    bool answered = false; // SET-BAUDRATE
    uint32_t baud = 0;
    bool operator==(const TFiltered &) const = default;
};

TFiltered Filter(const std::string &stream, bool opened, size_t cut1, size_t cut2) {
    TTelnetFilter filter;
    if (opened)
        filter.Opening();
    TFiltered out;
    const auto *bytes = reinterpret_cast<const uint8_t *>(stream.data());
    filter.Receive(bytes, cut1, out.data, out.reply);
    filter.Receive(bytes + cut1, cut2 - cut1, out.data, out.reply);
    filter.Receive(bytes + cut2, stream.size() - cut2, out.data, out.reply);
    out.agreed = filter.ComPortAgreed();
    out.refused = filter.ComPortRefused();
    out.answered = filter.Answered(F::cpSetBaudRate);
    out.baud = filter.AnswerValue(F::cpSetBaudRate);
    return out;
}

TEST(PortTelnetTest, StreamsGiveTheLinesBytesAndTheAnswersOwed) {
    const std::string iac = Bytes({0xFF});
    const struct {
        const char *name;
        bool opened; // after the client's Opening
        std::string stream;
        TFiltered expected;
    } cases[] = {
        {"plain data", false, "abc", {"abc", ""}},
        {"doubled 0xFF", false, Bytes({'a', 0xFF, 0xFF, 0xFF, 0xFF, 'b'}), {Bytes({'a', 0xFF, 0xFF, 'b'}), ""}},
        {"ECHO offered and asked for: refused",
         false,
         Bytes({'a', 0xFF, 0xFB, 1, 'b', 0xFF, 0xFD, 1}),
         {"ab", Bytes({0xFF, 0xFE, 1, 0xFF, 0xFC, 1})}},
        {"an unknown option refused each time offered",
         false,
         Bytes({0xFF, 0xFB, 24, 0xFF, 0xFB, 24}),
         {"", Bytes({0xFF, 0xFE, 24, 0xFF, 0xFE, 24})}},
        {"options wanted, offered first by the server",
         false,
         Bytes({0xFF, 0xFB, 0, 0xFF, 0xFD, 3, 0xFF, 0xFD, 3}),
         {"", Bytes({0xFF, 0xFD, 0, 0xFF, 0xFB, 3})}},
        {"answers to the opening need no answer",
         true,
         Bytes({0xFF, 0xFD, 0, 0xFF, 0xFB, 0, 0xFF, 0xFD, 3, 0xFF, 0xFB, 3, 0xFF, 0xFD, 44}),
         {"", "", true}},
        {"COM-PORT-OPTION refused", true, Bytes({0xFF, 0xFE, 44, 'x'}), {"x", "", false, true}},
        {"an agreed option withdrawn is acknowledged",
         true,
         Bytes({0xFF, 0xFB, 0, 0xFF, 0xFC, 0}),
         {"", Bytes({0xFF, 0xFE, 0})}},
        {"SET-BAUDRATE answered",
         true,
         Bytes({'<', 0xFF, 0xFA, 44, 101, 0x00, 0x01, 0xC2, 0x00, 0xFF, 0xF0, '>'}),
         {"<>", "", false, false, true, 115200}},
        {"a 0xFF doubled in an answer's value",
         true,
         Bytes({0xFF, 0xFA, 44, 101, 0, 0, 0xFF, 0xFF, 1, 0xFF, 0xF0}),
         {"", "", false, false, true, 0xFF01}},
        {"notices and others' subnegotiations ignored",
         true,
         Bytes({0xFF, 0xFA, 44,   107,  0x30, 0xFF, 0xF0, 'm', 0xFF, 0xFA, 24,   1,
                0xFF, 0xF0, 0xFF, 0xFA, 44,   1,    0,    0,   0,    9,    0xFF, 0xF0}),
         {"m", ""}},
        {"a subnegotiation too long to be an answer",
         true,
         Bytes({0xFF, 0xFA, 44, 101, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xFF, 0xF0, 'z'}),
         {"z", ""}},
        {"NOP, GA, DM and a lone SE dropped",
         false,
         Bytes({'1', 0xFF, 0xF1, '2', 0xFF, 0xF9, 0xFF, 0xF2, 0xFF, 0xF0}),
         {"12", ""}},
        {"a command inside a subnegotiation ends it",
         true,
         Bytes({0xFF, 0xFA, 44, 101, 0, 0xFF, 0xFB, 1, 'x', 0xFF, 0xF0}),
         {"x", Bytes({0xFF, 0xFE, 1})}},
        // ser2net 4's opening on a device it cannot open, as recorded.
        {"ser2net's refusal",
         true,
         Bytes({0xFF, 0xFB, 3,    0xFF, 0xFD, 3,    0xFF, 0xFB, 1,    0xFF, 0xFE,
                1,    0xFF, 0xFD, 0,    0xFF, 0xFB, 0,    0xFF, 0xFD, 44}) +
             "Port already in use\r\n",
         {"Port already in use\r\n", Bytes({0xFF, 0xFE, 1}), true}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Filter(c.stream, c.opened, 0, 0), c.expected);
        for (size_t cut1 = 0; cut1 <= c.stream.size(); ++cut1)
            for (size_t cut2 = cut1; cut2 <= c.stream.size(); ++cut2)
                ASSERT_EQ(Filter(c.stream, c.opened, cut1, cut2), c.expected) << "cut at " << cut1 << ", " << cut2;
    }
}

TEST(PortTelnetTest, WhatTheClientSends) {
    TTelnetFilter filter;
    EXPECT_EQ(filter.Opening(), Bytes({0xFF, 0xFB, 0, 0xFF, 0xFD, 0, 0xFF, 0xFB, 3, 0xFF, 0xFD, 3, 0xFF, 0xFB, 44}));
    std::string out;
    const uint8_t data[] = {0x01, 0xFF, 0xFF, 0x02};
    F::Escape(data, sizeof data, out);
    EXPECT_EQ(out, Bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x02}));
    EXPECT_EQ(F::ComPortCommand(F::cpSetBaudRate, 115200, 4), Bytes({0xFF, 0xFA, 44, 1, 0, 1, 0xC2, 0, 0xFF, 0xF0}));
    EXPECT_EQ(F::ComPortCommand(F::cpSetBaudRate, 0xFF00FF, 4),
              Bytes({0xFF, 0xFA, 44, 1, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0xF0}));
    EXPECT_EQ(F::ComPortCommand(F::cpPurgeData, 1, 1), Bytes({0xFF, 0xFA, 44, 12, 1, 0xFF, 0xF0}));
}

} // namespace
