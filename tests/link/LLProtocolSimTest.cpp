// The link engine against the in-process decoder simulator.
#include "LLProtocolFixture.h"

namespace {

TEST_F(LLProtocolTest, SendsTransmissionsOfEverySizeWhole) {
    StartSimulator();
    for (size_t size : {size_t(1), size_t(2032), size_t(2033), size_t(5000), size_t(65536), size_t(1000000)}) {
        SCOPED_TRACE(size);
        events.clear();
        const auto data = Pattern(size, static_cast<uint32_t>(size));
        link->Send(data.data(), static_cast<int32_t>(size));
        ASSERT_TRUE(WaitFinished());
        const int32_t packets = static_cast<int32_t>((size + 2031) / 2032);
        EXPECT_EQ(events.front(), std::make_pair(int32_t(leSendStart), packets));
        EXPECT_EQ(events.back(), std::make_pair(int32_t(leSendDone), int32_t(size)));
        ASSERT_TRUE(sim->WaitIdle());
        EXPECT_EQ(sim->LastTransmission(), data);
        EXPECT_EQ(link->State(), llsIdle);
    }
}

TEST_F(LLProtocolTest, FiveThousandByteSendGivesTheDocumentedEventsAndLog) {
    StartSimulator();
    const auto data = Pattern(5000);
    link->Send(data.data(), 5000);
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(events, (TEventList{{leSendStart, 3},
                                  {leWaitAck, 0},
                                  {lePacketAcked, 1},
                                  {lePacketAcked, 2},
                                  {lePacketAcked, 3},
                                  {leIdle, 0},
                                  {leSendDone, 5000}}));
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "==========");
    EXPECT_EQ(lines[1], "Invio dati");
    EXPECT_EQ(lines[2], "==========");
    EXPECT_EQ(lines[3], "Stato: IDLE -> WAIT ACK.");
    EXPECT_EQ(lines[4].rfind("Pacchetto dati: <- A5 99 08 00 07 F0 00 02 00 00 C1 3E ", 0), 0u);
    EXPECT_EQ(lines[4].substr(lines[4].size() - 4), " ...");
    EXPECT_EQ(lines[5], "Pacchetto: -> ACK.");
    EXPECT_EQ(lines[6].rfind("Pacchetto dati: <- A5 99 08 00 07 F0 00 02 00 01 C0 3F ", 0), 0u);
    EXPECT_EQ(lines[7], "Pacchetto: -> ACK.");
    EXPECT_EQ(lines[8].rfind("Pacchetto dati: <- A5 99 03 B8 03 A8 00 02 00 02 2C D3 ", 0), 0u);
    EXPECT_EQ(lines[9], "Pacchetto: -> ACK.");
    EXPECT_EQ(lines[10], "Stato: WAIT ACK -> IDLE.");
}

TEST_F(LLProtocolTest, ReceivesTransmissionsOfEverySize) {
    StartSimulator();
    for (size_t size : {size_t(1), size_t(2032), size_t(2033), size_t(65536), size_t(1000000)}) {
        SCOPED_TRACE(size);
        events.clear();
        const auto data = Pattern(size, static_cast<uint32_t>(size) + 1);
        sim->Send(data);
        link->Receive();
        ASSERT_TRUE(WaitFinished());
        const int32_t packets = static_cast<int32_t>((size + 2031) / 2032);
        EXPECT_EQ(events.back(), std::make_pair(int32_t(leReceiveDone), int32_t(size)));
        EXPECT_TRUE(Has(leReceiveStart));
        TBuffer &got = link->ReceivedData();
        ASSERT_EQ(got.Size(), static_cast<int32_t>(size));
        EXPECT_TRUE(std::equal(data.begin(), data.end(), got.Memory()));
        int received = 0;
        for (auto &e : events)
            received += e.first == lePacketReceived;
        EXPECT_EQ(received, packets);
    }
}

TEST_F(LLProtocolTest, RefusesEmptyAndOversizedSendsAndWorkWhileBusy) {
    StartSimulator();
    auto message = [&](auto call) -> std::string {
        try {
            call();
        } catch (const ELLProtocol &e) {
            return e.Message();
        }
        return "<none>";
    };
    uint8_t byte = 0;
    EXPECT_EQ(message([&] { link->Send(&byte, 0); }), "Numbero di pacchetti non valido: 0.");
    EXPECT_EQ(link->State(), llsIdle);
    std::vector<uint8_t> huge(66582545);
    EXPECT_EQ(message([&] { link->Send(huge.data(), 66582545); }), "Numbero di pacchetti non valido: 32768.");
    EXPECT_EQ(link->State(), llsIdle);
    EXPECT_TRUE(events.empty());

    const auto data = Pattern(5000);
    link->Send(data.data(), 5000);
    EXPECT_EQ(message([&] { link->Send(data.data(), 10); }), "Protocollo di comunicazione occupato.");
    EXPECT_EQ(message([&] { link->Receive(); }), "Protocollo di comunicazione occupato.");
    ASSERT_TRUE(WaitFinished());
    EXPECT_TRUE(Has(leSendDone)); // the running send went on
}

TEST_F(LLProtocolTest, NackWithReasonResendsTheSamePacket) {
    StartSimulator();
    velksim::TSimFaults faults;
    faults.nackNext = 1;
    faults.nackReason = "CRC";
    sim->SetFaults(faults);
    const auto data = Pattern(3000);
    link->Send(data.data(), 3000);
    ASSERT_TRUE(WaitFinished());
    EXPECT_TRUE(Has(leSendDone));
    EXPECT_EQ(CountLines("Pacchetto: -> NACK \"CRC\"."), 1);
    // The refused first packet went out twice with index 0, then packet 1.
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(CountLines("Pacchetto dati: <- A5 99 08 00 07 F0 00 01 00 00"), 2);
    EXPECT_EQ(CountLines("Pacchetto dati: <- A5 99 03 D8 03 C8 00 01 00 01"), 1);
    ASSERT_TRUE(sim->WaitIdle());
    EXPECT_EQ(sim->LastTransmission(), data);
}

TEST_F(LLProtocolTest, TenNacksThenTheEleventhInvalidPacketEndsTheReception) {
    StartSimulator();
    velksim::TSimFaults faults;
    faults.corruptSent = 1.0;
    sim->SetFaults(faults);
    sim->Send(Pattern(100));
    link->Receive();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(events.back(), std::make_pair(int32_t(leError), 0));
    EXPECT_EQ(CountLines("Pacchetto: <- NACK."), 10);
    EXPECT_EQ(CountLines("Pacchetto non valido: -> "), 11);
    EXPECT_EQ(link->State(), llsIdle);
}

TEST_F(LLProtocolTest, SurvivesNoiseAndCorruptionOnTheLine) {
    StartSimulator();
    velksim::TSimFaults faults;
    faults.seed = 42;
    faults.noiseRate = 0.5;
    faults.corruptReceived = 0.2;
    sim->SetFaults(faults);
    const auto data = Pattern(20000);
    link->Send(data.data(), 20000);
    ASSERT_TRUE(WaitFinished());
    EXPECT_TRUE(Has(leSendDone));
    ASSERT_TRUE(sim->WaitIdle());
    EXPECT_EQ(sim->LastTransmission(), data);

    events.clear();
    faults.corruptReceived = 0;
    faults.corruptSent = 0.2;
    sim->SetFaults(faults);
    sim->Send(data);
    link->Receive();
    ASSERT_TRUE(WaitFinished());
    ASSERT_TRUE(Has(leReceiveDone));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), link->ReceivedData().Memory()));
}

} // namespace
