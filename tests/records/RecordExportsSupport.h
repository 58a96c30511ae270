// The shared library loaded with dlopen, initialised and connected to a
// simulated decoder whose slot table admits every slot but the reserved slot
// 29. Messages of the error box are collected instead of shown.
#pragma once

#include "VelkLibrary.h"
#include "velksim.h"
#include "velksimdemo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

class RecordExportsTest : public ::testing::Test {
protected:
    static velksim::TSimConfig EmptyDecoder() {
        velksim::TSimConfig config;
        config.demoState = false;
        return config;
    }

    RecordExportsTest() : sim(EmptyDecoder()) {
        std::vector<uint8_t> table(29 * 4, 0);
        for (int32_t word = 0; word < 29; ++word)
            table[4 * word] = 0x80;
        sim.WriteEeprom(velksim::SlotWords, table);
        sim.WriteEeprom(velksim::ReservedSlotIndex, std::vector<uint8_t>{29});
        Messages().clear();
    }
    void SetUp() override {
        VELK_FN(lib, Initialize)();
        VELK_FN(lib, SetErrorEvent)(&Collect);
        ASSERT_EQ(VELK_FN(lib, OpenComPort)(sim.LinePath().c_str()), 1);
    }
    void TearDown() override {
        VELK_FN(lib, CloseComPort)();
        VELK_FN(lib, SetErrorEvent)(nullptr);
        VELK_FN(lib, Finalize)();
    }

    static std::vector<std::string> &Messages() {
        static std::vector<std::string> messages;
        return messages;
    }
    static void VELK_CALL Collect(const char *text) { Messages().push_back(text); }
    // The messages shown since the last call.
    static std::vector<std::string> Shown() {
        std::vector<std::string> shown;
        shown.swap(Messages());
        return shown;
    }

    // The decoder's traffic since the last call, once it has handled everything.
    velksim::TSimCounters Traffic() {
        EXPECT_TRUE(sim.WaitIdle());
        const velksim::TSimCounters counters = sim.Counters();
        sim.ResetCounters();
        return counters;
    }
    // Transfer requests the decoder has received since the last call.
    int64_t Requests() {
        const velksim::TSimCounters counters = Traffic();
        return counters.syncs + counters.readFlashRequests + counters.readEepromRequests + counters.writeFlashRequests +
               counters.writeEepromRequests;
    }
    std::vector<uint8_t> Buffer() {
        const int32_t size = RECGetBuffer(nullptr);
        std::vector<uint8_t> bytes(size);
        EXPECT_EQ(RECGetBuffer(bytes.data()), size);
        return bytes;
    }
    int32_t Save(const char *record, const char *item, const std::vector<uint8_t> &data) {
        return RECSaveItem(record, item, data.data(), static_cast<int32_t>(data.size()));
    }

    velksim::TDecoderSim sim;
    VelkLibrary lib;
    decltype(&::RECRefresh) RECRefresh = VELK_FN(lib, RECRefresh);
    decltype(&::RECItemExists) RECItemExists = VELK_FN(lib, RECItemExists);
    decltype(&::RECLoadItem) RECLoadItem = VELK_FN(lib, RECLoadItem);
    decltype(&::RECSaveItem) RECSaveItem = VELK_FN(lib, RECSaveItem);
    decltype(&::RECGetBuffer) RECGetBuffer = VELK_FN(lib, RECGetBuffer);
};
