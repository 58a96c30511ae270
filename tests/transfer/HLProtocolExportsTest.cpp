// The transfer exports of the real shared library (dlopen) against the
// in-process decoder simulator, with the library's own time-outs.
#include "VelkLibrary.h"
#include "velkhlpacket.h"
#include "velksim.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using TEventList = std::vector<std::pair<int32_t, int32_t>>;

struct THost {
    TEventList events;
    std::vector<std::pair<int32_t, std::string>> lines;
    std::vector<std::string> errors;
};
THost g_host;

void VELK_CALL OnEvent(int32_t code, int32_t value) {
    g_host.events.emplace_back(code, value);
}
void VELK_CALL OnLog(int32_t kind, const char *text) {
    g_host.lines.emplace_back(kind, text);
}
void VELK_CALL OnError(const char *text) {
    g_host.errors.push_back(text);
}

std::vector<uint8_t> Pattern(size_t n, uint32_t seed = 3) {
    std::vector<uint8_t> bytes(n);
    for (auto &b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

constexpr uint32_t kSlot0 = 0x34020000;

class HLPExportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_host = THost();
        sim = std::make_unique<velksim::TDecoderSim>();
        VELK_FN(lib, Initialize)();
        VELK_FN(lib, HLPSetEvent)(OnEvent);
        VELK_FN(lib, SetLogEvent)(OnLog);
        VELK_FN(lib, SetErrorEvent)(OnError);
        ASSERT_EQ(VELK_FN(lib, OpenComPort)(sim->LinePath().c_str()), 1);
    }
    void TearDown() override {
        VELK_FN(lib, CloseComPort)();
        VELK_FN(lib, Finalize)();
        VELK_FN(lib, SetErrorEvent)(nullptr);
        sim.reset();
    }
    // Synchronised first, then the collected events and lines start afresh.
    void Synchronise() {
        ASSERT_EQ(VELK_FN(lib, HLPSendSync)(), 1);
        ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
        g_host.events.clear();
        g_host.lines.clear();
    }
    std::vector<std::string> TransferLines() const {
        std::vector<std::string> out;
        for (auto &[kind, text] : g_host.lines)
            if (kind == 1)
                out.push_back(text);
        return out;
    }
    std::vector<uint8_t> Buffer() {
        int32_t size = VELK_FN(lib, HLPGetBuffer)(nullptr);
        std::vector<uint8_t> out(size);
        EXPECT_EQ(VELK_FN(lib, HLPGetBuffer)(out.data()), size);
        return out;
    }
    int32_t State() { return VELK_FN(lib, HLPGetState)(); }
    int32_t Error() { return VELK_FN(lib, HLPGetError)(); }

    VelkLibrary lib;
    std::unique_ptr<velksim::TDecoderSim> sim;
};

TEST_F(HLPExportsTest, FlashReadGivesTheDocumentedLogAndEvents) {
    Synchronise();
    sim->ResetSync(); // the decoder answers the next SYNC with ACK
    const std::string rule(46, '=');
    ASSERT_EQ(VELK_FN(lib, HLPReadFlash)(kSlot0, 80), 1);
    ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
    EXPECT_EQ(TransferLines(), (std::vector<std::string>{
                                   rule, "Lettura Flash (indirizzo 0x34020000, 80 bytes)", rule,
                                   "Stato: IDLE -> TX SYNC.", "Pacchetto: <- SYNC.", "Stato: TX SYNC -> WAIT SYNC ACK.",
                                   "Pachetto: -> ACK.", "Stato: WAIT SYNC ACK -> TX READ REQUEST.",
                                   "Pacchetto: <- READ REQUEST.", "Stato: TX READ REQUEST -> WAIT DATA.",
                                   "Pacchetto: -> DATA.", "Stato: WAIT DATA -> IDLE.", "Lettura completata."}));
    EXPECT_EQ(g_host.events, (TEventList{{1, 0}, {2, 0}, {4, 0}, {5, 0}, {12, 1}, {11, 1}, {3, 0}}));
    EXPECT_EQ(VELK_FN(lib, HLPGetBuffer)(nullptr), 80);
    EXPECT_EQ(Buffer(), sim->ReadFlash(kSlot0, 80));
    EXPECT_EQ(State(), 3);
}

TEST_F(HLPExportsTest, SyncIsAnsweredByAckFirstAndBySyncAfterwards) {
    ASSERT_EQ(VELK_FN(lib, HLPSendSync)(), 1);
    ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
    auto lines = TransferLines();
    EXPECT_EQ(lines.back(), "Decoder sincronizzato.");
    EXPECT_EQ(lines[lines.size() - 2], "Stato: WAIT SYNC ACK -> IDLE.");
    g_host.lines.clear();
    ASSERT_EQ(VELK_FN(lib, HLPSendSync)(), 1);
    ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
    EXPECT_EQ(TransferLines().back(), "Decoder gi\xE0 sincronizzato.");
    EXPECT_EQ(State(), 3);
    // Link lines come with kind 0, transfer lines with kind 1.
    bool linkLine = false;
    for (auto &[kind, text] : g_host.lines) {
        if (text == "Invio dati" || text.rfind("Pacchetto dati: <- ", 0) == 0) {
            EXPECT_EQ(kind, 0) << text;
            linkLine = true;
        }
        if (text == "Sincronizzazione") {
            EXPECT_EQ(kind, 1);
        }
    }
    EXPECT_TRUE(linkLine);
}

TEST_F(HLPExportsTest, FullSlotWriteReportsProgressPerLinkPacket) {
    Synchronise();
    const auto data = Pattern(65536);
    ASSERT_EQ(VELK_FN(lib, HLPSendFlash)(data.data(), kSlot0 + 0x10000, 65536), 1);
    ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
    TEventList expected{{1, 0}, {2, 0}, {6, 0}, {15, 33}};
    for (int i = 1; i <= 33; ++i)
        expected.emplace_back(14, i);
    expected.insert(expected.end(), {{7, 0}, {3, 0}});
    EXPECT_EQ(g_host.events, expected);
    EXPECT_EQ(sim->ReadSlot(1), data);
    EXPECT_EQ(TransferLines().back(), "Scrittura completata.");
}

TEST_F(HLPExportsTest, WriteOf2016BytesIsOneLinkPacketAnd2017Two) {
    Synchronise();
    for (auto [size, packets] : {std::pair{2016, 1}, std::pair{2017, 2}}) {
        g_host.events.clear();
        const auto data = Pattern(size, size);
        ASSERT_EQ(VELK_FN(lib, HLPSendFlash)(data.data(), kSlot0 + 0x20000, size), 1);
        ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
        EXPECT_EQ(g_host.events[3], std::make_pair(15, packets));
        EXPECT_EQ(sim->ReadFlash(kSlot0 + 0x20000, size), data);
    }
}

TEST_F(HLPExportsTest, RefusalsGiveTheirErrorNumbers) {
    Synchronise();
    ASSERT_EQ(VELK_FN(lib, HLPReadFlash)(kSlot0, 16), 1);
    ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
    const auto before = Buffer();

    velksim::TSimFaults faults;
    faults.refuseReads = 1.0;
    faults.refuseWrites = 1.0;
    sim->SetFaults(faults);
    ASSERT_EQ(VELK_FN(lib, HLPReadFlash)(kSlot0 + 100, 40), 1);
    EXPECT_EQ(VELK_FN(lib, HLPWaitFor)(), 0);
    EXPECT_EQ(Error(), 6);
    EXPECT_EQ(State(), 3);
    EXPECT_EQ(Buffer(), before); // a refused read leaves the buffer alone
    EXPECT_EQ(TransferLines().back(), "Richiesta lettura rifiutata.");
    EXPECT_EQ(VELK_FN(lib, HLPWaitFor)(), 0); // still the failed exchange

    const auto data = Pattern(10);
    ASSERT_EQ(VELK_FN(lib, HLPSendEeprom)(data.data(), 0x100, 10), 1);
    EXPECT_EQ(VELK_FN(lib, HLPWaitFor)(), 0);
    EXPECT_EQ(Error(), 5);
    EXPECT_EQ(State(), 3);
    EXPECT_EQ(TransferLines().back(), "Scrittura fallita.");

    // The next exchange clears the error before its start returns.
    sim->ClearFaults();
    ASSERT_EQ(VELK_FN(lib, HLPSendSync)(), 1);
    EXPECT_EQ(Error(), 0);
    EXPECT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
}

TEST_F(HLPExportsTest, NackToSyncIsAnUnexpectedPacket) {
    velksim::TSimFaults faults;
    faults.swallowRate = 1.0;
    faults.swallowKinds = velksim::rqSync;
    sim->SetFaults(faults);
    ASSERT_EQ(VELK_FN(lib, HLPReadFlash)(kSlot0, 8), 1);
    // Once the SYNC has gone out, the decoder answers it with a transfer NACK.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (State() != 2 && std::chrono::steady_clock::now() < deadline) {
        VELK_FN(lib, ProcessMessages)();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(State(), 2);
    velk_HLPacket nack(HL_NACK, 0, nullptr, 0);
    sim->Send(std::vector<uint8_t>(nack.Memory(), nack.Memory() + nack.Size()));
    EXPECT_EQ(VELK_FN(lib, HLPWaitFor)(), 0);
    EXPECT_EQ(Error(), 4);
    EXPECT_EQ(State(), 0);
    EXPECT_EQ(sim->Counters().readFlashRequests, 0); // the request never went out
    EXPECT_EQ(TransferLines().back(), "Stato: WAIT SYNC ACK -> NOT CONNECTED.");
}

TEST_F(HLPExportsTest, StartingWhileBusyIsRefusedAndTheRunningWriteGoesOn) {
    Synchronise();
    const auto data = Pattern(30000);
    ASSERT_EQ(VELK_FN(lib, HLPSendFlash)(data.data(), kSlot0 + 0x30000, 30000), 1);
    EXPECT_EQ(VELK_FN(lib, HLPReadFlash)(kSlot0, 8), 0);
    EXPECT_EQ(g_host.errors, (std::vector<std::string>{"Protocollo di comunicazione occupato."}));
    ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
    EXPECT_EQ(sim->ReadFlash(kSlot0 + 0x30000, 30000), data);
}

TEST_F(HLPExportsTest, InconsistentStartsShowTheirMessage) {
    EXPECT_EQ(VELK_FN(lib, HLPSendFlash)(nullptr, kSlot0, 1), 0);
    EXPECT_EQ(VELK_FN(lib, HLPSendFirmware)(nullptr, 0x7FFFF1), 0);
    std::vector<uint8_t> big(0x7FFFF1);
    EXPECT_EQ(VELK_FN(lib, HLPSendFirmware)(big.data(), 0x7FFFF1), 0);
    EXPECT_EQ(g_host.errors, (std::vector<std::string>{"Pacchetto dati inconsistente.", "Pacchetto dati inconsistente.",
                                                       "Pacchetto dati troppo grande."}));
    EXPECT_EQ(State(), 0);
    EXPECT_EQ(VELK_FN(lib, HLPWaitFor)(), 1); // nothing running
}

TEST_F(HLPExportsTest, EepromAndFirmwareTransfers) {
    const auto data = Pattern(300, 9);
    ASSERT_EQ(VELK_FN(lib, HLPSendEeprom)(data.data(), 0x200, 300), 1);
    ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
    EXPECT_EQ(sim->ReadEeprom(0x200, 300), data);
    ASSERT_EQ(VELK_FN(lib, HLPReadEeprom)(0, 8192), 1);
    ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
    EXPECT_EQ(Buffer(), sim->ReadEeprom(0, 8192));
    const auto lines = TransferLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Scrittura Eeprom (indirizzo 0x0200, 300 bytes)"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Lettura Eeprom (indirizzo 0x0000, 8192 bytes)"), lines.end());

    const auto image = Pattern(100000, 11);
    ASSERT_EQ(VELK_FN(lib, HLPSendFirmware)(image.data(), 100000), 1);
    ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
    EXPECT_EQ(sim->Firmware(), image);
}

TEST_F(HLPExportsTest, PortClosedStartFailsAndLeavesTheEngineFree) {
    ASSERT_EQ(VELK_FN(lib, CloseComPort)(), 1);
    EXPECT_EQ(VELK_FN(lib, HLPSendSync)(), 0);
    EXPECT_EQ(g_host.errors.size(), 1u);
    EXPECT_EQ(State(), 0);
    EXPECT_EQ(Error(), 2);
    EXPECT_EQ(VELK_FN(lib, HLPWaitFor)(), 0);
    EXPECT_EQ(TransferLines().back(), "Errore nel protocollo a basso livello.");
}

TEST_F(HLPExportsTest, SilentDecoderEndsWithTheLinkTimeoutAfterFiveSeconds) {
    Synchronise();
    EXPECT_EQ(State(), 3);
    sim->Stop();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(VELK_FN(lib, HLPSendSync)(), 1);
    EXPECT_EQ(VELK_FN(lib, HLPWaitFor)(), 0);
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, std::chrono::milliseconds(4900));
    EXPECT_LT(waited, std::chrono::milliseconds(8000));
    EXPECT_EQ(Error(), 1);
    EXPECT_EQ(State(), 0);
    // The state event comes before the log line that names the outcome.
    EXPECT_EQ(g_host.events.back(), std::make_pair(0, 0));
    EXPECT_EQ(TransferLines().back(), "Timeout nel protocollo a basso livello.");
}

// CPU time of the calling thread: the one that waits in HLPWaitFor. (The
// simulator shares the process; the port's event thread has its own CPU test.)
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST_F(HLPExportsTest, WaitingForASlowDecoderUsesAlmostNoCpu) {
    Synchronise();
    sim->SetBaud(38400); // the 8 KiB read takes about 2.2 s on the line
    ASSERT_EQ(VELK_FN(lib, HLPReadEeprom)(0, 8192), 1);
    const double cpu = CpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double used = CpuSeconds() - cpu;
    EXPECT_GT(wall, 1.5);
    EXPECT_LT(used, wall / 10) << "used " << used << " s of CPU in " << wall << " s";
}

// A host that closes the port or finalizes the library from inside one of
// its callbacks, in the middle of a 64 KiB write: the call is done once the
// library has left the callback, the write ends as failed, and the library
// works again afterwards.
struct TReentryCase {
    const char *name;
    enum TFrom { Event, Log, Idle, Error } from;
    bool finalize;
};
void PrintTo(const TReentryCase &c, std::ostream *out) {
    *out << c.name;
}

struct TReentry {
    const VelkLibrary *lib = nullptr;
    TReentryCase::TFrom from = TReentryCase::Event;
    bool finalize = false;
    bool armed = false; // the write has begun: the next callback of the case calls in
    int calls = 0;
    int32_t closeResult = -1;
};
TReentry g_reentry;

void CallIn(TReentryCase::TFrom from) {
    if (!g_reentry.armed || from != g_reentry.from)
        return;
    g_reentry.armed = false;
    ++g_reentry.calls;
    if (g_reentry.finalize)
        VELK_FN(*g_reentry.lib, Finalize)();
    else
        g_reentry.closeResult = VELK_FN(*g_reentry.lib, CloseComPort)();
}
void VELK_CALL ReentryEvent(int32_t code, int32_t) {
    if (code == VELK_EVENT_WRITE_PACKET)
        CallIn(TReentryCase::Event);
}
void VELK_CALL ReentryLog(int32_t kind, const char *) {
    if (kind == VELK_LOG_LINK)
        CallIn(TReentryCase::Log);
}
void VELK_CALL ReentryIdle() {
    CallIn(TReentryCase::Idle);
}
void VELK_CALL ReentryError(const char *) {
    CallIn(TReentryCase::Error);
}

class HLPReentryTest : public HLPExportsTest, public ::testing::WithParamInterface<TReentryCase> {
protected:
    void TearDown() override {
        VELK_FN(lib, SetIdleEvent)(nullptr);
        HLPExportsTest::TearDown();
    }
};

TEST_P(HLPReentryTest, CloseOrFinalizeInsideACallbackIsDoneAfterIt) {
    const TReentryCase &c = GetParam();
    Synchronise();
    g_reentry = {&lib, c.from, c.finalize};
    VELK_FN(lib, HLPSetEvent)(ReentryEvent);
    VELK_FN(lib, SetLogEvent)(ReentryLog);
    VELK_FN(lib, SetIdleEvent)(ReentryIdle);
    VELK_FN(lib, SetErrorEvent)(ReentryError);
    const auto data = Pattern(65536);
    ASSERT_EQ(VELK_FN(lib, HLPSendFlash)(data.data(), kSlot0, 65536), 1);
    g_reentry.armed = true;
    if (c.from == TReentryCase::Error) { // the error box of a call that fails
        EXPECT_EQ(VELK_FN(lib, HLPSendSync)(), 0);
    }
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(VELK_FN(lib, HLPWaitFor)(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(g_reentry.calls, 1);
    if (c.finalize) {
        EXPECT_EQ(VELK_FN(lib, GetMessageHandle)(), -1); // finalized
        VELK_FN(lib, Initialize)();
        VELK_FN(lib, SetErrorEvent)(OnError);
    } else {
        EXPECT_EQ(g_reentry.closeResult, 1);
        EXPECT_EQ(VELK_FN(lib, ComPortConnected)(), 0);
        EXPECT_EQ(VELK_FN(lib, HLPGetError)(), VELK_ERROR_LINK);
        EXPECT_EQ(VELK_FN(lib, HLPGetState)(), VELK_STATE_NOT_CONNECTED);
    }
    // The library works again: the port opens, the decoder answers.
    VELK_FN(lib, HLPSetEvent)(OnEvent);
    VELK_FN(lib, SetLogEvent)(OnLog);
    VELK_FN(lib, SetIdleEvent)(nullptr);
    ASSERT_TRUE(sim->WaitIdle());
    ASSERT_EQ(VELK_FN(lib, OpenComPort)(sim->LinePath().c_str()), 1);
    ASSERT_EQ(VELK_FN(lib, HLPSendSync)(), 1);
    EXPECT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
}

INSTANTIATE_TEST_SUITE_P(Callbacks, HLPReentryTest,
                         ::testing::Values(TReentryCase{"CloseFromTheEvent", TReentryCase::Event, false},
                                           TReentryCase{"FinalizeFromTheEvent", TReentryCase::Event, true},
                                           TReentryCase{"CloseFromTheLog", TReentryCase::Log, false},
                                           TReentryCase{"FinalizeFromTheLog", TReentryCase::Log, true},
                                           TReentryCase{"CloseFromIdle", TReentryCase::Idle, false},
                                           TReentryCase{"FinalizeFromIdle", TReentryCase::Idle, true},
                                           TReentryCase{"CloseFromTheErrorBox", TReentryCase::Error, false},
                                           TReentryCase{"FinalizeFromTheErrorBox", TReentryCase::Error, true}),
                         [](const ::testing::TestParamInfo<TReentryCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
