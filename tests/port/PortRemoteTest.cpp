// Remote ports against the real serial server: ser2net on the pseudo-terminal
// of the decoder simulator, reached through rfc2217:// and socket:// names by
// the library's whole decoder stack.
#include "ComError.h"
#include "FloodServer.h"
#include "PumpUntil.h"
#include "Ser2netServer.h"
#include "velkdecoderstack.h"
#include "velkerrorsink.h"
#include "velkhltransport.h"
#include "velkmemorymap.h"
#include "velksim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> &Errors() {
    static std::vector<std::string> errors;
    return errors;
}

// Bytes that a Telnet stream must carry untouched: runs of 0xFF, commands and
// COM-PORT-OPTION subnegotiations as they look on the wire, then noise.
std::vector<uint8_t> TelnetLookalikes(size_t size) {
    std::vector<uint8_t> bytes(size);
    static const uint8_t pattern[] = {0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x01, 0xC2, 0x00, 0xFF, 0xF0,
                                      0xFF, 0xFB, 0x01, 0xFF, 0xFD, 0x2C, 0xFF, 0xFF, 0x0D, 0x00};
    std::mt19937 dice(28);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = i < size / 8 ? 0xFF : i < size / 2 ? pattern[i % sizeof pattern] : static_cast<uint8_t>(dice());
    return bytes;
}

struct TRemoteCase {
    const char *name;
    bool rfc2217;
    int32_t baud; // the simulator's pacing, 0 unpaced
};
void PrintTo(const TRemoteCase &c, std::ostream *out) {
    *out << c.name;
}

class PortRemoteTest : public ::testing::Test {
public:
    void SetUp() override {
        if (Ser2netServer::Program().empty())
            GTEST_SKIP() << "ser2net is not installed";
        previousSink_ = SetErrorSink([](const char *text) { Errors().emplace_back(text); });
        Errors().clear();
        server.emplace(sim.LinePath());
    }
    void TearDown() override {
        if (server)
            SetErrorSink(previousSink_);
    }

protected:
    velk_CPort &Port() { return stack.Port(); }
    void Open(const std::string &name) {
        Port().SetPort(name);
        Port().Open();
    }

public:
    velksim::TDecoderSim sim;
    std::optional<Ser2netServer> server;

protected:
    TDecoderStack stack;
    THLTransport transport{stack.Transfer()};
    TErrorSink previousSink_ = nullptr;
};

class PortRemoteLineTest : public PortRemoteTest, public ::testing::WithParamInterface<TRemoteCase> {};

TEST_P(PortRemoteLineTest, CarriesExactlyTheDecodersBytes) {
    sim.SetBaud(GetParam().baud);
    Open(GetParam().rfc2217 ? server->Rfc2217Name() : server->SocketName());
    velk_HLProtocol &engine = stack.Transfer();
    engine.SendSync();
    ASSERT_TRUE(engine.WaitFor());

    const uint32_t slot1 = RecordSlotAddress(1);
    const std::vector<uint8_t> block = TelnetLookalikes(kRecordSlotSize);
    engine.SendFlash(block.data(), slot1, static_cast<int32_t>(block.size()));
    ASSERT_TRUE(engine.WaitFor());
    ASSERT_TRUE(sim.WaitIdle());
    EXPECT_EQ(sim.ReadFlash(slot1, kRecordSlotSize), block);
    engine.ReadFlash(slot1, kRecordSlotSize);
    ASSERT_TRUE(engine.WaitFor());
    const TBuffer &read = engine.GetBuffer();
    ASSERT_EQ(read.Size(), static_cast<int32_t>(block.size()));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), read.Memory()));

    // A record item of the same kind of bytes, saved and loaded back.
    const std::vector<uint8_t> item = TelnetLookalikes(3000);
    TBuffer saved(0);
    saved.SetData(item.data(), static_cast<int32_t>(item.size()));
    stack.Records().SaveItem(transport, "remote", "lookalikes", saved);
    stack.NewRecords();
    stack.Records().Refresh(transport, false);
    TBuffer loaded(0);
    stack.Records().LoadItem(transport, "remote", "lookalikes", loaded);
    ASSERT_EQ(loaded.Size(), static_cast<int32_t>(item.size()));
    EXPECT_TRUE(std::equal(item.begin(), item.end(), loaded.Memory()));
    EXPECT_TRUE(Errors().empty()) << ::testing::PrintToString(Errors());

    const auto closing = Clock::now();
    Port().Close();
    EXPECT_LT(Clock::now() - closing, std::chrono::milliseconds(1000));
}

INSTANTIATE_TEST_SUITE_P(Ser2net, PortRemoteLineTest,
                         ::testing::Values(TRemoteCase{"Rfc2217", true, 0}, TRemoteCase{"Socket", false, 0},
                                           TRemoteCase{"Rfc2217Paced", true, 115200}),
                         [](const auto &info) { return std::string(info.param.name); });

// The connection's end in the middle of a read: the server killed, or the
// decoder's side of the server gone. As on a local line whose far end closed,
// the exchange ends at once with a link error, the port's message is reported
// once, and the port closes at once.
struct TLossCase {
    const char *name;
    void (*lose)(PortRemoteTest &test);
};
void PrintTo(const TLossCase &c, std::ostream *out) {
    *out << c.name;
}

class PortRemoteLossTest : public PortRemoteTest, public ::testing::WithParamInterface<TLossCase> {};

TEST_P(PortRemoteLossTest, EndsTheExchangeAsADeadLine) {
    sim.SetBaud(115200); // a 64 KiB read takes almost 6 s
    Open(server->Rfc2217Name());
    velk_HLProtocol &engine = stack.Transfer();
    engine.ReadFlash(RecordSlotAddress(1), kRecordSlotSize);
    ASSERT_TRUE(PumpUntil([&] { return engine.GetState() == hsWaitData; }, 5000));
    PumpUntil([] { return false; }, 300); // the decoder's data are on their way
    const auto lost = Clock::now();
    GetParam().lose(*this);
    ASSERT_TRUE(PumpUntil([&] { return !engine.IsBusy(); }, 11000));
    EXPECT_LT(Clock::now() - lost, std::chrono::milliseconds(1000));
    EXPECT_EQ(engine.GetError(), heLinkError);
    EXPECT_EQ(engine.GetState(), hsNotConnected);
    ASSERT_EQ(Errors().size(), 1u) << ::testing::PrintToString(Errors());
    EXPECT_NE(Errors()[0].find("(win error code: 5)"), std::string::npos) << Errors()[0];
    EXPECT_TRUE(Port().Connected());
    const auto closing = Clock::now();
    Port().Close();
    EXPECT_LT(Clock::now() - closing, std::chrono::milliseconds(1000));
}

INSTANTIATE_TEST_SUITE_P(Ser2net, PortRemoteLossTest,
                         ::testing::Values(TLossCase{"ServerKilled", [](PortRemoteTest &t) { t.server->Kill(); }},
                                           TLossCase{"DecoderGoneBehindTheServer",
                                                     [](PortRemoteTest &t) { t.sim.HangUp(); }}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(PortRemoteTest, OpenFailuresSayWhy) {
    const std::string refused = "127.0.0.1:" + std::to_string(Ser2netServer::FreePort());
    const std::string broken = server->BrokenName().substr(10);
    const struct {
        std::string name;
        std::string cause;
    } cases[] = {
        {"rfc2217://" + refused, refused + ": connection refused"},
        {"socket://" + refused, refused + ": connection refused"},
        // Unknown to the resolver, or, where no name server answers, not
        // looked up within the connect time.
        {"rfc2217://velk-no-such-host.invalid:7000", "velk-no-such-host.invalid:7000: "},
        {server->BrokenName(), broken + ": Device open failure: "},
        {"rfc2217://127.0.0.1", "no port number in rfc2217://127.0.0.1 (use rfc2217://HOST:PORT)"},
        {"socket://[::1:7000", "unclosed [ in socket://[::1:7000 (use socket://HOST:PORT, an IPv6 HOST in brackets)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Port().SetPort(c.name);
        const auto start = Clock::now();
        const EComPort e = ComError([&] { Port().Open(); });
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(5500));
        EXPECT_EQ(e.Code(), ceOpen);
        EXPECT_EQ(e.Cause().substr(0, c.cause.size()), c.cause);
        EXPECT_EQ(e.Message(), "Errore connettendo la porta " + c.name + ". " + e.Cause());
        EXPECT_FALSE(Port().Connected());
    }
}

TEST_F(PortRemoteTest, SecondClientGetsTheServersRefusal) {
    Open(server->Rfc2217Name());
    for (const std::string &name : {server->Rfc2217Name(), server->SocketName()}) {
        SCOPED_TRACE(name);
        velk_CPort second;
        second.SetPort(name);
        const EComPort e = ComError([&] { second.Open(); });
        EXPECT_NE(e.Cause().find(" already in use"), std::string::npos) << e.Cause();
        EXPECT_FALSE(second.Connected());
    }
    velk_HLProtocol &engine = stack.Transfer();
    engine.SendSync();
    EXPECT_TRUE(engine.WaitFor()); // the first client is served as before
}

// A server that floods the client from the connection's start, before it
// agrees to anything: the open fails within the line settings' 3 s, and its
// message names the cause with at most a short printable excerpt.
TEST(PortRemoteFloodTest, OpenEndsWithinItsBoundWhateverTheServerSends) {
    const struct {
        const char *name;
        std::string pattern;
    } cases[] = {
        {"Telnet NOPs", std::string("\xFF\xF1", 2)},
        {"a subnegotiation without end", std::string("\xFF\xFA\x2C\x01", 4) + std::string(60, 'A')},
        {"WILL and WONT ECHO", std::string("\xFF\xFB\x01\xFF\xFC\x01", 6)},
        {"DO and DONT an unknown option", std::string("\xFF\xFD\x63\xFF\xFE\x63", 6)},
        {"doubled IACs", std::string("\xFF\xFF", 2)},
        {"letters", std::string("A")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FloodServer server(c.pattern, false);
        velk_CPort port;
        port.SetPort(server.Name("rfc2217"));
        const auto start = Clock::now();
        const EComPort e = ComError([&] { port.Open(); });
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(4500));
        EXPECT_EQ(e.Code(), ceOpen);
        EXPECT_NE(e.Cause().find("within 3 s"), std::string::npos) << e.Cause();
        EXPECT_LT(e.Cause().size(), 200u) << e.Cause();
        EXPECT_TRUE(std::all_of(e.Cause().begin(), e.Cause().end(), [](char ch) { return ch >= 0x20 && ch < 0x7F; }))
            << e.Cause();
        EXPECT_FALSE(port.Connected());
    }
}

} // namespace
