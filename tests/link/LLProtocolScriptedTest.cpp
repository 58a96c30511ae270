// The link engine against a far end played byte by byte by the test: what a
// well-behaved decoder never does on purpose.
#include "FloodServer.h"
#include "LLProtocolFixture.h"

#include <fcntl.h>

#include <atomic>
#include <random>
#include <thread>

namespace {

TLLTimeouts Short() {
    TLLTimeouts t;
    t.Response = 400;
    t.Completion = 150;
    t.Reply = 400;
    return t;
}

std::string Data(uint16_t lastIndex, uint16_t index, const std::vector<uint8_t> &payload) {
    return Bytes(velk_LLPacket(LL_DATA, lastIndex, index, static_cast<uint16_t>(payload.size()), payload.data()));
}

// A DATA packet of any length, beyond what the engine itself would build.
std::string BigData(uint16_t lastIndex, size_t payloadSize) {
    std::vector<uint8_t> payload = Pattern(payloadSize);
    std::string p;
    const uint16_t total = static_cast<uint16_t>(payloadSize + 16);
    uint8_t header[10] = {0xA5,
                          0x99,
                          uint8_t(total >> 8),
                          uint8_t(total),
                          uint8_t(payloadSize >> 8),
                          uint8_t(payloadSize),
                          uint8_t(lastIndex >> 8),
                          uint8_t(lastIndex),
                          0,
                          1};
    uint8_t x = 0;
    for (uint8_t b : header)
        x ^= b;
    p.append(reinterpret_cast<char *>(header), 10);
    p += static_cast<char>(x);
    p += static_cast<char>(~x);
    p.append(payload.begin(), payload.end());
    uint32_t a = 1, b = 0;
    for (uint8_t c : payload) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    uint32_t check = (b << 16) | a;
    for (int shift = 24; shift >= 0; shift -= 8)
        p += static_cast<char>(check >> shift);
    return p;
}

TEST_F(LLProtocolTest, NoiseBeforeTheAckIsSkipped) {
    StartScripted(Short());
    const auto data = Pattern(10);
    link->Send(data.data(), 10);
    EXPECT_EQ(pty->Receive(26).size(), 26u);
    pty->Send(std::string("\x00\x13\xA5\xA5", 4) + Ack());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leSendDone), 10));
    EXPECT_EQ(CountLines("Timeout"), 0);
}

TEST_F(LLProtocolTest, AnswerCutAfterSixBytesIsInvalidatedAfterTheCompletionTime) {
    StartScripted(Short());
    const auto data = Pattern(10);
    link->Send(data.data(), 10);
    pty->Receive(26);
    pty->Send(Ack().substr(0, 6));
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leError), 0));
    EXPECT_EQ(CountLines("Timeout nel completamento di un pacchetto."), 1);
    EXPECT_EQ(CountLines("Pacchetto riempito e invalidato."), 1);
    EXPECT_EQ(CountLines("Pacchetto non valido: -> A5 33 00 0C 00 00 00 00 00 00 00 00"), 1);
}

TEST_F(LLProtocolTest, DeclaredLengthBelowTwelveEndsTheSendAtOnce) {
    StartScripted(Short());
    const auto data = Pattern(10);
    link->Send(data.data(), 10);
    pty->Receive(26);
    pty->Send(std::string("\xA5\x33\x00\x05", 4));
    ASSERT_TRUE(WaitFinished(300)); // well before any time-out
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leError), 0));
    EXPECT_EQ(CountLines("Timeout"), 0);
}

TEST_F(LLProtocolTest, DataPacketWhileWaitingForAckIsAnError) {
    StartScripted(Short());
    const auto data = Pattern(10);
    link->Send(data.data(), 10);
    pty->Receive(26);
    pty->Send(Data(0, 0, {1, 2, 3}));
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leError), 0));
    EXPECT_EQ(CountLines("Pacchetto non aspettato: -> A5 99 00 13"), 1);
}

TEST_F(LLProtocolTest, CompleteDataPacketAlreadyWaitingIsAnsweredByReceive) {
    StartScripted(Short());
    pty->Send(Data(0, 0, {1, 2, 3}));
    ASSERT_TRUE(Eventually([&] { return port->InputCount() == 19; }));
    link->Receive();
    // Answered before Receive returned, without handling any message.
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leReceiveDone), 3));
    EXPECT_EQ(pty->Receive(12), Ack());
    const uint8_t *got = link->ReceivedData().Memory();
    EXPECT_EQ(std::vector<uint8_t>(got, got + 3), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(LLProtocolTest, FirstPacketAnnouncingOneCompletesTheReceptionInOrder) {
    StartScripted(Short());
    link->Receive();
    events.clear();
    pty->Send(Data(0, 0, Pattern(2032)));
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(events, (TEventList{{leReceiveStart, 1}, {lePacketReceived, 1}, {leIdle, 0}, {leReceiveDone, 2032}}));
    EXPECT_EQ(pty->Receive(12), Ack());
}

TEST_F(LLProtocolTest, OverflowEndsTheReceptionAndReportsTheError) {
    StartScripted(Short());
    link->Receive();
    pty->Send(Data(1, 0, Pattern(2032)));
    EXPECT_EQ(Answer(12), Ack());
    pty->Send(BigData(1, 2033)); // more than the two announced packets hold
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leError), 0));
    EXPECT_EQ(link->State(), llsIdle);
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0], "Overflow del buffer di ricezione.");
    EXPECT_EQ(pty->Receive(12, 200), ""); // no ACK for the offending packet
    // The engine is free for the next transmission.
    const auto data = Pattern(5);
    link->Send(data.data(), 5);
    EXPECT_EQ(link->State(), llsWaitAck);
}

TEST_F(LLProtocolTest, SilentDecoderEndsTheReceptionAfterTheReplyTime) {
    StartScripted(Short());
    const auto started = std::chrono::steady_clock::now();
    link->Receive();
    ASSERT_TRUE(WaitFinished(5000));
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leTimeout), 0));
    EXPECT_EQ(CountLines("Timeout aspettando una risposta."), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(350));
}

TEST_F(LLProtocolTest, DecoderStoppingInTheMiddleOfATransmissionEndsTheReception) {
    StartScripted(Short());
    link->Receive();
    pty->Send(Data(2, 0, Pattern(2032)));
    EXPECT_EQ(Answer(12), Ack());
    ASSERT_TRUE(WaitFinished(5000));
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leTimeout), 0));
    EXPECT_EQ(link->State(), llsIdle);
}

TEST_F(LLProtocolTest, CompletionTimeoutBeforeFourBytesStillEndsTheSend) {
    StartScripted(Short());
    const auto data = Pattern(10);
    link->Send(data.data(), 10);
    pty->Receive(26);
    pty->Send(std::string("\xA5\x33", 2)); // a marker, then nothing
    ASSERT_TRUE(WaitFinished(5000));
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leTimeout), 0));
    EXPECT_EQ(CountLines("Timeout nel completamento di un pacchetto."), 1);
}

TEST_F(LLProtocolTest, LateResponseExpiryCannotTurnAFinishedSendIntoATimeout) {
    StartScripted(Short());
    const auto data = Pattern(10);
    link->Send(data.data(), 10);
    pty->Receive(26);
    pty->Send(Ack());
    // The ACK's notice waits in the queue while the response time runs out, so
    // the expiry is delivered after the ACK has already ended the send.
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    ASSERT_TRUE(WaitFinished());
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leSendDone), 10));
    EXPECT_FALSE(Has(leTimeout));
    EXPECT_EQ(link->State(), llsIdle);
}

TEST_F(LLProtocolTest, NoAnswerEndsTheSendAfterTheResponseTime) {
    StartScripted(Short());
    const auto data = Pattern(10);
    link->Send(data.data(), 10);
    ASSERT_TRUE(WaitFinished(5000));
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leTimeout), 0));
    EXPECT_EQ(lines.back(), "Timeout aspettando una risposta.");
}

// The far end closes at a given point of an exchange, as when a cable is pulled
// or the decoder's side dies. With the exports' own time limits, the port's
// hang-up notice must end the transmission at once: with leError, the engine
// IDLE, the port's message reported once, and the port closable at once.
struct THangUpCase {
    const char *name;
    // Plays the far end up to the point where it vanishes.
    void (*play)(LLProtocolTest &test, PseudoTerminal &pty, velk_LLProtocol &link);
};

class LLProtocolHangUpTest : public LLProtocolTest, public ::testing::WithParamInterface<THangUpCase> {};

TEST_P(LLProtocolHangUpTest, DeadLineEndsTheTransmissionAtOnce) {
    pty.emplace();
    Connect(pty->Path()); // the exports' time limits: 5000, 1000 and 10000 ms
    GetParam().play(*this, *pty, *link);
    const auto died = std::chrono::steady_clock::now();
    pty->CloseMaster();
    ASSERT_TRUE(WaitFinished(11000));
    EXPECT_LT(std::chrono::steady_clock::now() - died, std::chrono::milliseconds(1000));
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leError), 0));
    EXPECT_EQ(link->State(), llsIdle);
    PumpUntil([] { return false; }, 1200); // past the completion time: nothing more comes
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leError), 0));
    ASSERT_EQ(errors().size(), 1u) << ::testing::PrintToString(errors());
    EXPECT_NE(errors()[0].find("(win error code: 5)"), std::string::npos) << errors()[0];

    const auto closing = std::chrono::steady_clock::now();
    link.reset();
    port->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::milliseconds(1000));
    // A new line works as before.
    StartScripted(Short());
    const auto data = Pattern(10);
    link->Send(data.data(), 10);
    EXPECT_EQ(pty->Receive(26).size(), 26u);
    pty->Send(Ack());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leSendDone), 10));
}

INSTANTIATE_TEST_SUITE_P(
    FarEndCloses, LLProtocolHangUpTest,
    ::testing::Values(THangUpCase{"BetweenPackets",
                                  [](LLProtocolTest &t, PseudoTerminal &pty, velk_LLProtocol &link) {
                                      link.Receive();
                                      pty.Send(Data(2, 0, Pattern(2032)));
                                      EXPECT_EQ(t.Answer(12), Ack());
                                  }},
                      THangUpCase{"InTheMiddleOfADataPacket",
                                  [](LLProtocolTest &t, PseudoTerminal &pty, velk_LLProtocol &link) {
                                      link.Receive();
                                      pty.Send(Data(2, 0, Pattern(2032)));
                                      EXPECT_EQ(t.Answer(12), Ack());
                                      pty.Send(Data(2, 1, Pattern(2032)).substr(0, 1000));
                                      EXPECT_TRUE(PumpUntil([&] { return t.port->InputCount() == 0; }));
                                  }},
                      THangUpCase{"RightAfterTheFirstBytes",
                                  [](LLProtocolTest &t, PseudoTerminal &pty, velk_LLProtocol &link) {
                                      link.Receive();
                                      pty.Send(std::string("\xA5\x99\x08", 3));
                                      EXPECT_TRUE(PumpUntil([&] { return t.port->InputCount() == 0; }));
                                  }},
                      THangUpCase{"JustBeforeThePcWritesItsAck",
                                  [](LLProtocolTest &, PseudoTerminal &pty, velk_LLProtocol &link) {
                                      link.Receive();
                                      pty.Send(Data(2, 0, Pattern(2032)));
                                  }},
                      THangUpCase{"WhileThePcWritesADataPacket",
                                  [](LLProtocolTest &, PseudoTerminal &pty, velk_LLProtocol &link) {
                                      const auto data = Pattern(5000);
                                      link.Send(data.data(), 5000);
                                      EXPECT_EQ(pty.Receive(2048).size(), 2048u); // the first DATA packet, whole
                                      pty.Send(Ack());
                                  }}),
    [](const ::testing::TestParamInfo<THangUpCase> &info) { return std::string(info.param.name); });

// A far end that sends without end and never forms a sound packet: the
// engine must still end the transmission by its own limits (the answer's or
// the next packet's time, a packet's completion time, the NACK count), while
// the flood goes on. The far end is the pseudo-terminal, written as fast as it
// takes bytes or at the pace of a 115200-baud line, or a network server
// through the Telnet filter and the raw socket.
struct TFloodCase {
    const char *name;
    const char *far;     // "pty", "rfc2217" or "socket"
    std::string pattern; // empty: random bytes
    bool linePaced;
    bool receive; // the engine receives (else it waits for an ACK)
};
void PrintTo(const TFloodCase &c, std::ostream *out) {
    *out << c.name;
}

class LLProtocolFloodTest : public LLProtocolTest, public ::testing::WithParamInterface<TFloodCase> {
public:
    void TearDown() override {
        stop = true;
        if (peer.joinable())
            peer.join();
        LLProtocolTest::TearDown();
        server.reset();
    }

    // Writes the case's bytes to the pseudo-terminal's master until stopped.
    void FloodPty(const TFloodCase &c) {
        ::fcntl(pty->Master(), F_SETFL, ::fcntl(pty->Master(), F_GETFL) | O_NONBLOCK);
        peer = std::thread([this, c] {
            std::mt19937 dice(32);
            std::string block(c.linePaced ? 116 : 4096, 'A'); // 10 ms at 115200 baud, or a pipe's worth
            while (!stop) {
                for (size_t i = 0; i < block.size(); ++i)
                    block[i] = c.pattern.empty() ? static_cast<char>(dice()) : c.pattern[i % c.pattern.size()];
                pollfd p{pty->Master(), POLLOUT, 0};
                if (::poll(&p, 1, 10) == 1 && ::write(pty->Master(), block.data(), block.size()) > 0 &&
                    firstByte.load() == 0)
                    firstByte = std::chrono::steady_clock::now().time_since_epoch().count();
                if (c.linePaced)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }

    std::atomic<bool> stop{false};
    std::atomic<std::chrono::steady_clock::rep> firstByte{0};
    std::thread peer;
    std::unique_ptr<FloodServer> server;
};

TEST_P(LLProtocolFloodTest, EndsByTheProtocolsLimits) {
    const TFloodCase &c = GetParam();
    const TLLTimeouts limits = Short();
    const std::string far = c.far;
    if (far == "pty") {
        StartScripted(limits);
        FloodPty(c);
    } else {
        server = std::make_unique<FloodServer>(c.pattern, far == "rfc2217");
        Connect(server->Name(far.c_str()), limits);
    }
    const auto start = std::chrono::steady_clock::now();
    const auto data = Pattern(10);
    if (c.receive)
        link->Receive();
    else
        link->Send(data.data(), 10);
    // The most a transmission can last whatever arrives: every attempt of a
    // reception (the first and ten NACKs) waits for a packet to begin and
    // then for it to be complete; a send waits once.
    const uint32_t attempts = c.receive ? 11 : 1;
    const auto bound =
        std::chrono::milliseconds(attempts * (std::max(limits.Reply, limits.Response) + limits.Completion));
    ASSERT_TRUE(WaitFinished(static_cast<int>(bound.count()) + 3000));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, bound + std::chrono::milliseconds(1500));
    EXPECT_TRUE(events.back().first == leTimeout || events.back().first == leError) << events.back().first;
    EXPECT_EQ(link->State(), llsIdle);
    // Letters never begin a packet: only the wait's time ends them.
    if (!c.pattern.empty() && c.pattern[0] == 'A') {
        EXPECT_EQ(events.back(), std::make_pair(int32_t(leTimeout), 0));
    }
}

INSTANTIATE_TEST_SUITE_P(Noise, LLProtocolFloodTest,
                         ::testing::Values(TFloodCase{"PtyLettersAtFullSpeedForAnAck", "pty", "A", false, false},
                                           TFloodCase{"PtyLettersAtFullSpeedForData", "pty", "A", false, true},
                                           TFloodCase{"PtyRandomAtFullSpeedForData", "pty", "", false, true},
                                           TFloodCase{"PtyRandomAtLineRateForAnAck", "pty", "", true, false},
                                           TFloodCase{"PtyLettersAtLineRateForData", "pty", "A", true, true},
                                           TFloodCase{"Rfc2217LettersForAnAck", "rfc2217", "A", false, false},
                                           TFloodCase{"Rfc2217TelnetNopsForData", "rfc2217", "\xFF\xF1", false, true},
                                           TFloodCase{"Rfc2217DoubledIacsForAnAck", "rfc2217", "\xFF\xFF", false,
                                                      false},
                                           TFloodCase{"SocketLettersForData", "socket", "A", false, true}),
                         [](const ::testing::TestParamInfo<TFloodCase> &info) { return std::string(info.param.name); });

} // namespace
