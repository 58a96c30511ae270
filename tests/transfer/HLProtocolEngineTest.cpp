// The transfer engine as a C++ class on a link engine with short time-outs,
// against the in-process decoder simulator.
#include "PumpUntil.h"
#include "velkcport.h"
#include "velkerrorsink.h"
#include "velkhlprotocol.h"
#include "velkllprotocol.h"
#include "velklog.h"
#include "velksim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

class HLPEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim = std::make_unique<velksim::TDecoderSim>();
        port = std::make_unique<velk_CPort>();
        port->SetPort(sim->LinePath());
        port->Open();
        TLLTimeouts timeouts;
        timeouts.Response = 500;
        timeouts.Completion = 1000;
        timeouts.Reply = 600;
        link = std::make_unique<velk_LLProtocol>(*port, velk_LLProtocol::THandler(), timeouts);
        engine = std::make_unique<velk_HLProtocol>(*link);
        TransferLog().OnLog = [this](velk_Log &, const std::string &line) { lines.push_back(line); };
    }
    void TearDown() override {
        TransferLog().OnLog = nullptr;
        engine.reset();
        link.reset();
        port.reset();
        sim.reset();
    }
    bool Logged(const std::string &line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }

    std::unique_ptr<velksim::TDecoderSim> sim;
    std::unique_ptr<velk_CPort> port;
    std::unique_ptr<velk_LLProtocol> link;
    std::unique_ptr<velk_HLProtocol> engine;
    std::vector<std::string> lines;
};

TEST_F(HLPEngineTest, RequestAcknowledgedButNeverAnsweredEndsWithLinkTimeout) {
    velksim::TSimFaults faults;
    faults.swallowRate = 1.0;
    faults.swallowKinds = velksim::rqReadFlash;
    sim->SetFaults(faults);
    engine->ReadFlash(0x34020000, 80);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine->WaitFor());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(engine->GetError(), heLinkTimeout);
    EXPECT_EQ(engine->GetState(), hsNotConnected);
    EXPECT_TRUE(Logged("Timeout nel protocollo a basso livello."));
    EXPECT_EQ(sim->Counters().swallowedRequests, 1);
}

TEST_F(HLPEngineTest, LinkFailureWhileStartingLeavesTheEngineFree) {
    port->Close();
    try {
        engine->SendSync();
        FAIL() << "no exception";
    } catch (const EVelk &) {
    }
    EXPECT_EQ(engine->GetState(), hsNotConnected);
    EXPECT_EQ(engine->GetError(), heLinkError);
    EXPECT_TRUE(Logged("Errore nel protocollo a basso livello."));
    EXPECT_FALSE(engine->IsBusy());
    EXPECT_FALSE(engine->WaitFor()); // at once
    EXPECT_EQ(link->State(), llsIdle);
}

TEST_F(HLPEngineTest, PortClosedDuringAnExchangeLeavesTheEngineFree) {
    std::vector<std::string> reported;
    static std::vector<std::string> *sink;
    sink = &reported;
    SetErrorSink([](const char *text) { sink->push_back(text); });
    // Close the line as soon as the SYNC has gone out; the engine then fails to
    // start its reception inside the link event.
    engine->OnEvent = [this](velk_HLProtocol &, int32_t code, int32_t) {
        if (code == hsWaitSyncAck)
            port->Close();
    };
    engine->ReadFlash(0x34020000, 80);
    EXPECT_FALSE(engine->WaitFor());
    SetErrorSink(nullptr);
    EXPECT_EQ(engine->GetError(), heLinkError);
    EXPECT_EQ(engine->GetState(), hsNotConnected);
    EXPECT_EQ(reported.size(), 1u);
    // Nothing is left running: no late time-out changes the outcome.
    PumpUntil([] { return false; }, 1000);
    EXPECT_EQ(engine->GetError(), heLinkError);
    EXPECT_EQ(link->State(), llsIdle);
}

// How an exchange ended, as the engine tells its users: the outcome, the line
// it logged (byte for byte), how the SYNC was answered and whether the decoder
// answered anything. A time-out before any answer is not one after an answer,
// and a line that went away is not a link protocol failure.
TEST_F(HLPEngineTest, EachExchangeTellsHowItEnded) {
    using velksim::TSimFaults;
    const velk_HLPacket nack(HL_NACK, 0, nullptr, 0);
    enum TKind { kSync, kRead, kWrite };
    struct TCase {
        const char *what;
        std::function<void(TSimFaults &)> fault;
        TKind kind;
        // Sent as the decoder's answer to the SYNC, which the decoder swallows.
        std::optional<std::vector<uint8_t>> syncAnswer;
        THLOutcome outcome;
        std::string message; // or its beginning, for lines with a dump
        THLSyncReply reply;
        bool answered;
    };
    // In this order: the decoder synchronises once, and the last case hangs up.
    const std::vector<TCase> cases = {
        {"first sync", {}, kSync, {}, hoDone, "Decoder sincronizzato.", hsrAck, true},
        {"second sync", {}, kSync, {}, hoDone, "Decoder gi\xE0 sincronizzato.", hsrSync, true},
        {"read", {}, kRead, {}, hoDone, "Lettura completata.", hsrSync, true},
        {"write", {}, kWrite, {}, hoDone, "Scrittura completata.", hsrSync, true},
        {"read refused",
         [](TSimFaults &f) { f.refuseReads = 1; },
         kRead,
         {},
         hoRefused,
         "Richiesta lettura rifiutata.",
         hsrSync,
         true},
        {"write refused",
         [](TSimFaults &f) { f.refuseWrites = 1; },
         kWrite,
         {},
         hoRefused,
         "Scrittura fallita.",
         hsrSync,
         true},
        {"request never answered",
         [](TSimFaults &f) {
             f.swallowRate = 1;
             f.swallowKinds = velksim::rqReadFlash;
         },
         kRead,
         {},
         hoTimedOut,
         "Timeout nel protocollo a basso livello.",
         hsrSync,
         true},
        {"silent decoder",
         [](TSimFaults &f) { f.stopAfter = 0; },
         kRead,
         {},
         hoNoAnswer,
         "Timeout nel protocollo a basso livello.",
         hsrNone,
         false},
        {"NACK to the SYNC",
         {},
         kRead,
         std::vector<uint8_t>(nack.Memory(), nack.Memory() + nack.Size()),
         hoUnexpectedAnswer,
         "Pacchetto non aspettato: -> ",
         hsrNone,
         true},
        {"bytes that are no transfer packet",
         {},
         kRead,
         std::vector<uint8_t>{1, 2, 3},
         hoInvalidAnswer,
         "Pacchetto non valido: -> ",
         hsrNone,
         true},
        {"line hung up in the answer",
         [](TSimFaults &f) { f.hangUpAfterBytes = 3000; },
         kRead,
         {},
         hoLineFailed,
         "Errore nel protocollo a basso livello.",
         hsrSync,
         true},
    };
    static std::vector<std::string> *reported;
    std::vector<std::string> errors;
    reported = &errors;
    SetErrorSink([](const char *text) { reported->push_back(text); });
    const std::vector<uint8_t> data(100, 7);
    for (const TCase &c : cases) {
        TSimFaults faults;
        if (c.syncAnswer) {
            faults.swallowRate = 1;
            faults.swallowKinds = velksim::rqSync;
        }
        if (c.fault)
            c.fault(faults);
        sim->SetFaults(faults);
        if (c.kind == kSync)
            engine->SendSync();
        else if (c.kind == kRead)
            engine->ReadFlash(0x34020000, c.outcome == hoLineFailed ? 65536 : 80);
        else
            engine->SendFlash(data.data(), 0x34050000, int32_t(data.size()));
        EXPECT_EQ(engine->LastEnd().Outcome, hoNone) << c.what;
        if (c.syncAnswer) {
            ASSERT_TRUE(PumpUntil([&] { return engine->GetState() == hsWaitSyncAck; }, 5000)) << c.what;
            sim->Send(*c.syncAnswer);
        }
        EXPECT_EQ(engine->WaitFor(), c.outcome == hoDone) << c.what;
        const THLExchangeEnd &end = engine->LastEnd();
        EXPECT_EQ(end.Outcome, c.outcome) << c.what;
        EXPECT_EQ(end.Message.rfind(c.message, 0), 0u) << c.what << ": " << end.Message;
        EXPECT_TRUE(Logged(end.Message)) << c.what;
        EXPECT_EQ(end.SyncReply, c.reply) << c.what;
        EXPECT_EQ(end.Answered, c.answered) << c.what;
        EXPECT_EQ(end.LineError.has_value(), c.outcome == hoLineFailed) << c.what;
    }
    SetErrorSink(nullptr);
    // The port's error reached the error sink too, as the same message.
    ASSERT_TRUE(engine->LastEnd().LineError);
    EXPECT_EQ(errors, std::vector<std::string>{engine->LastEnd().LineError->Message()});
}

TEST_F(HLPEngineTest, WaitForCallsTheIdleHookWhileTheDecoderIsSlow) {
    sim->SetBaud(9600);
    int idles = 0;
    engine->OnIdle = [&] { ++idles; };
    engine->ReadFlash(0x34020000, 600); // over half a second on the line
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(engine->WaitFor());
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    EXPECT_EQ(engine->GetBuffer().Size(), 600);
    // At least one call for every 20 ms of waiting (with slack for a loaded machine).
    EXPECT_GE(idles, ms.count() / 40);
}

} // namespace
