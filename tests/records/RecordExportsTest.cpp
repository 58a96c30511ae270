// The record exports of the shared library against the simulated decoder.
#include "RecordExportsSupport.h"
#include "RecordTestSupport.h"

#include <algorithm>
#include <chrono>
#include <functional>

namespace {

using TStrings = std::vector<std::string>;

TEST_F(RecordExportsTest, NothingIsAnsweredOrSentBeforeARefresh) {
    sim.WriteSlot(0, velksim::RecordSlotImage("SET", {{"SET", Pattern(64)}}));
    sim.ResetCounters();
    EXPECT_EQ(RECGetBuffer(nullptr), 0);
    EXPECT_EQ(RECItemExists("SET", "SET"), 0);
    EXPECT_EQ(Requests(), 0);
    EXPECT_EQ(RECLoadItem("SET", "SET"), 0);
    EXPECT_EQ(Shown(), TStrings{"Record non trovato: SET."});
    EXPECT_EQ(Requests(), 0);
}

TEST_F(RecordExportsTest, GetBufferKeepsTheLastLoadedItem) {
    sim.WriteSlot(3, velksim::RecordSlotImage("SET", {{"SET", Pattern(64)}, {"empty", {}}}));
    ASSERT_EQ(RECRefresh(0x100), 1); // only the low 8 bits count: a partial refresh
    EXPECT_EQ(Traffic().flashBytesRead, 29 * 80 + 84 + 40);
    EXPECT_EQ(RECItemExists("SET", "SET"), 1);
    EXPECT_EQ(RECItemExists("SET", nullptr), 0);

    ASSERT_EQ(RECLoadItem("SET", "SET"), 1);
    EXPECT_EQ(Buffer(), Pattern(64));

    // A missing item: the error box, and the previous item stays.
    EXPECT_EQ(RECLoadItem("SET", "missing"), 0);
    EXPECT_EQ(Shown(), TStrings{"File non trovato: missing."});
    EXPECT_EQ(Buffer(), Pattern(64));

    // An empty item: size 0, nothing copied.
    ASSERT_EQ(RECLoadItem("SET", "empty"), 1);
    uint8_t untouched = 0x5A;
    EXPECT_EQ(RECGetBuffer(&untouched), 0);
    EXPECT_EQ(untouched, 0x5A);
    EXPECT_TRUE(Shown().empty());
}

TEST_F(RecordExportsTest, SaveStoresAndReplacesItems) {
    ASSERT_EQ(RECRefresh(1), 1);
    EXPECT_EQ(Save("pictures", "splash.fnt", Pattern(3000)), 1);
    EXPECT_EQ(RECSaveItem("pictures", "empty", nullptr, 0), 1);
    EXPECT_EQ(Save("pictures", "splash.fnt", Pattern(10, 0x70)), 1);
    EXPECT_TRUE(Shown().empty());

    ASSERT_EQ(RECRefresh(0x201), 1); // full
    EXPECT_EQ(RECLoadItem("pictures", "splash.fnt"), 1);
    EXPECT_EQ(Buffer(), Pattern(10, 0x70));
    EXPECT_EQ(RECLoadItem("pictures", "empty"), 1);
    EXPECT_EQ(RECGetBuffer(nullptr), 0);
    const std::vector<uint8_t> record =
        velksim::RecordSlotImage("pictures", {{"empty", {}}, {"splash.fnt", Pattern(10, 0x70)}});
    EXPECT_EQ(sim.ReadFlash(velksim::SlotAddress(0), 76 + 4 + 40 + 10), TBytes(record.begin(), record.begin() + 130));
}

// Sizes the library cannot take are refused before anything is sent.
TEST_F(RecordExportsTest, SaveRefusesANegativeSizeAndMissingData) {
    ASSERT_EQ(RECRefresh(0), 1);
    Requests();
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(RECSaveItem("pictures", "a", data, -1), 0);
    EXPECT_EQ(RECSaveItem("pictures", "a", data, INT32_MIN), 0);
    EXPECT_EQ(RECSaveItem("pictures", "a", nullptr, 4), 0);
    EXPECT_EQ(Shown(), (TStrings{"Dimensione dati non valida: -1.", "Dimensione dati non valida: -2147483648.",
                                 "Pacchetto dati inconsistente."}));
    EXPECT_EQ(Requests(), 0);
    EXPECT_EQ(RECItemExists("pictures", "a"), 0);
}

// A save before any refresh refreshes first and never takes slot 0,
// which holds a record, blindly.
TEST_F(RecordExportsTest, SaveBeforeARefreshKeepsExistingRecords) {
    const std::vector<uint8_t> set = velksim::RecordSlotImage("SET", {{"SET", Pattern(64)}});
    sim.WriteSlot(0, set);
    EXPECT_EQ(Save("pictures", "a", Pattern(5)), 1);
    EXPECT_EQ(sim.ReadSlot(0), set);
    const uint32_t written = 76 + 4 + 20 + 5 + 1; // rounded up to even
    EXPECT_EQ(Traffic().flashWrites, (std::vector<velksim::TSimRange>{{velksim::SlotAddress(1), written}}));
    EXPECT_EQ(RECItemExists("SET", "SET"), 1);
}

TEST_F(RecordExportsTest, FailingRefreshShowsTheSlotAddressAndFindsNothing) {
    sim.WriteSlot(0, velksim::RecordSlotImage("SET", {{"SET", Pattern(64)}}));
    ASSERT_EQ(RECRefresh(0), 1);
    velksim::TSimFaults faults;
    faults.refuseReads = 1;
    sim.SetFaults(faults);
    EXPECT_EQ(RECRefresh(0), 0);
    EXPECT_EQ(Shown(), TStrings{"Errore leggendo il record all'indirizzo: 0x34020000."});
    EXPECT_EQ(RECItemExists("SET", "SET"), 0);
}

TEST(RecordExportsOrderTest, RecordFunctionsBeforeInitializeDoNothing) {
    VelkLibrary lib;
    const uint8_t data[1] = {1};
    EXPECT_EQ(VELK_FN(lib, RECRefresh)(1), 0);
    EXPECT_EQ(VELK_FN(lib, RECItemExists)("a", "b"), 0);
    EXPECT_EQ(VELK_FN(lib, RECLoadItem)("a", "b"), 0);
    EXPECT_EQ(VELK_FN(lib, RECSaveItem)("a", "b", data, 1), 0);
    EXPECT_EQ(VELK_FN(lib, RECGetBuffer)(nullptr), 0);
}

// The line dies under a record function (a cable pulled out): the function
// fails within a second, the port's message shown once; closing and finalising
// take no longer, and a new scope on another line works.
TEST_F(RecordExportsTest, LineDyingUnderARecordFunctionEndsItAtOnce) {
    using TClock = std::chrono::steady_clock;
    struct TCase {
        const char *name;
        int64_t hangUpAfter; // bytes since the faults were set
        std::function<int32_t()> call;
    };
    const TCase cases[] = {
        {"refresh", 500, [this] { return RECRefresh(1); }},
        {"load", 10000, [this] { return RECLoadItem("pictures", "big"); }},
        {"save", 15000, [this] { return Save("pictures", "other", Pattern(30000, 9)); }},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.name);
        velksim::TDecoderSim line(EmptyDecoder());
        line.WriteEeprom(0, sim.ReadEeprom(0, 8192));
        line.WriteSlot(1, velksim::RecordSlotImage("pictures", {{"big", Pattern(30000, 5)}}));
        const std::vector<uint8_t> flash = line.ReadFlash(velksim::FlashBase, 30 * 65536);
        VELK_FN(lib, CloseComPort)();
        ASSERT_EQ(VELK_FN(lib, OpenComPort)(line.LinePath().c_str()), 1);
        ASSERT_EQ(RECRefresh(0), 1); // the item tables only: items are read when needed
        Shown();

        velksim::TSimFaults faults;
        faults.hangUpAfterBytes = c.hangUpAfter;
        line.SetFaults(faults);
        const auto started = TClock::now();
        EXPECT_EQ(c.call(), 0);
        EXPECT_LT(TClock::now() - started, std::chrono::seconds(1));
        EXPECT_TRUE(line.WaitStopped(std::chrono::seconds(1))); // it was the line that died
        const TStrings shown = Shown();
        EXPECT_EQ(
            std::count_if(shown.begin(), shown.end(),
                          [](const std::string &m) { return m.find("(win error code: 5)") != std::string::npos; }),
            1)
            << ::testing::PrintToString(shown);
        EXPECT_EQ(line.ReadFlash(velksim::FlashBase, 30 * 65536), flash);

        const auto closing = TClock::now();
        VELK_FN(lib, CloseComPort)();
        VELK_FN(lib, Finalize)();
        EXPECT_LT(TClock::now() - closing, std::chrono::seconds(1));
        VELK_FN(lib, Initialize)();
        VELK_FN(lib, SetErrorEvent)(&Collect);
        ASSERT_EQ(VELK_FN(lib, OpenComPort)(sim.LinePath().c_str()), 1);
        EXPECT_EQ(RECRefresh(1), 1);
        EXPECT_TRUE(Shown().empty());
    }
}

} // namespace
