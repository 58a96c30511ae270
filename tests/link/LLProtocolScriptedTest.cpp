// The link engine against a far end played byte by byte by the test: what a
// well-behaved decoder never does on purpose.
#include "LLProtocolFixture.h"

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

} // namespace
