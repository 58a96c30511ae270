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
#include <memory>
#include <string>
#include <vector>

namespace {

class HLPEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim = std::make_unique<velksim::TDecoderSim>();
        port = std::make_unique<velk_CPort>();
        port->SetBaudRate(br115200);
        port->SetSyncMethod(smWindowSync);
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
