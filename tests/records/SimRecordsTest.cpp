// The record directory over the real transfer engine, link engine and serial
// port, against the decoder simulator on a pseudo-terminal. The simulator's
// traffic counters show exactly what each operation read and wrote.
#include "RecordTestSupport.h"
#include "velkcport.h"
#include "velkhlprotocol.h"
#include "velkhltransport.h"
#include "velkllprotocol.h"
#include "velkrecords.h"
#include "velksim.h"
#include "velksimdemo.h"

#include <gtest/gtest.h>

namespace {

using velksim::SlotAddress;
using velksim::TSimRange;

std::vector<velksim::TSimItem> SimItems(const TItemList &items) {
    std::vector<velksim::TSimItem> out;
    for (const auto &[name, data] : items)
        out.push_back({name, data});
    return out;
}

velksim::TSimConfig EmptyDecoder() {
    velksim::TSimConfig config;
    config.demoState = false;
    return config;
}

class SimRecordsTest : public ::testing::Test {
protected:
    SimRecordsTest() {
        // A slot table that admits every slot but the reserved slot 29.
        std::vector<uint8_t> table(29 * 4, 0);
        for (int32_t word = 0; word < 29; ++word)
            table[4 * word] = 0x80;
        sim.WriteEeprom(velksim::SlotWords, table);
        sim.WriteEeprom(velksim::ReservedSlotIndex, std::vector<uint8_t>{29});

        port.SetPort(sim.LinePath());
        port.Open();
    }

    void PutSlot(int32_t slot, const std::string &name, const TItemList &items) {
        sim.WriteSlot(slot, velksim::RecordSlotImage(name, SimItems(items)));
    }
    void Admit(int32_t slot, bool admitted) {
        sim.WriteEeprom(velksim::SlotWords + 4 * slot, std::vector<uint8_t>{uint8_t(admitted ? 0x80 : 0)});
    }
    // The counters once the simulator has handled everything; then zeroed.
    velksim::TSimCounters Traffic() {
        EXPECT_TRUE(sim.WaitIdle());
        velksim::TSimCounters counters = sim.Counters();
        sim.ResetCounters();
        return counters;
    }
    TBytes Load(const std::string &record, const std::string &item) {
        return LoadItem(records, transport, record, item);
    }
    void Save(const std::string &record, const std::string &item, const TBytes &data) {
        SaveItem(records, transport, record, item, data);
    }

    velksim::TDecoderSim sim{EmptyDecoder()};
    velk_CPort port;
    velk_LLProtocol link{port};
    velk_HLProtocol engine{link};
    THLTransport transport{engine};
    velk_Records records{velksim::FlashBase, 30};
};

TEST_F(SimRecordsTest, PartialRefreshReadsTablesAndEachRecordOnlyOnce) {
    PutSlot(0, "SET", {{"SET", Pattern(64)}});
    PutSlot(4, "pictures", {{"a.m2v", Pattern(3000)}, {"b.lut", Pattern(64)}, {"c", {}}});
    sim.ResetCounters();

    records.Refresh(transport, false);
    velksim::TSimCounters refresh = Traffic();
    EXPECT_EQ(refresh.flashBytesRead, 28 * 80 + (84 + 20 * 1) + (84 + 20 * 3));
    EXPECT_EQ(refresh.eepromReads, (std::vector<TSimRange>{{0, 8192}}));
    EXPECT_EQ(refresh.readFlashRequests, 28 + 2 * 2);
    EXPECT_TRUE(records.ItemExists("pictures", "c"));

    EXPECT_EQ(Load("pictures", "a.m2v"), Pattern(3000));
    const uint32_t body = 4 + 60 + 3064;
    EXPECT_EQ(Traffic().flashReads, (std::vector<TSimRange>{{SlotAddress(4), 80}, {SlotAddress(4) + 76, body}}));
    EXPECT_EQ(Load("pictures", "b.lut"), Pattern(64));
    EXPECT_EQ(Load("pictures", "c"), TBytes{});
    EXPECT_EQ(Traffic().transmissionsReceived, 0);

    records.Refresh(transport, true);
    EXPECT_EQ(Traffic().flashBytesRead, 28 * 80 + (80 + 4 + 20 + 64) + (80 + body));
    EXPECT_EQ(Load("SET", "SET"), Pattern(64));
    EXPECT_EQ(Load("pictures", "a.m2v"), Pattern(3000));
    EXPECT_EQ(Traffic().transmissionsReceived, 0);
}

TEST_F(SimRecordsTest, SaveWritesOneSlotFromItsStatusWordAndMovesAReplacedItemLast) {
    PutSlot(2, "pictures", {{"a", Pattern(10)}, {"b", Pattern(300)}, {"c", Pattern(7)}});
    records.Refresh(transport, false);
    Traffic();

    Save("pictures", "a", Pattern(2000, 9)); // odd: the write is rounded up
    const velksim::TSimCounters save = Traffic();
    EXPECT_EQ(save.flashReads.size(), 2u); // the one full read of the slot
    const TBytes expected = velksim::RecordSlotImage(
        "pictures", SimItems({{"b", Pattern(300)}, {"c", Pattern(7)}, {"a", Pattern(2000, 9)}}));
    const uint32_t total = 76 + 4 + 60 + 2307; // odd: one more byte is written
    EXPECT_EQ(save.flashWrites, (std::vector<TSimRange>{{SlotAddress(2), total + 1}}));
    EXPECT_EQ(save.eepromWrites.size(), 0u);
    const TBytes slot = sim.ReadSlot(2);
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + total, slot.begin()));
    EXPECT_EQ(slot[total], 0); // the rounding byte comes from the record's zeroed tail

    // A new record takes the lowest free slot; nothing else is written.
    Save("SET", "SET", Pattern(64));
    EXPECT_EQ(Traffic().flashWrites, (std::vector<TSimRange>{{SlotAddress(0), 76 + 4 + 20 + 64}}));
    records.Refresh(transport, false);
    EXPECT_EQ(Load("SET", "SET"), Pattern(64));
    EXPECT_EQ(Load("pictures", "a"), Pattern(2000, 9));
}

TEST_F(SimRecordsTest, DuplicatesAndSlotsWithoutTheirFlag) {
    PutSlot(1, "R", {{"x", Pattern(4)}});
    PutSlot(3, "R", {{"x", Pattern(5)}});
    PutSlot(5, "hidden", {{"x", Pattern(4)}});
    PutSlot(29, "reserve", {{"x", Pattern(4)}});
    PutSlot(6, "S", {{"f", Pattern(1)}, {"f", Pattern(2)}});
    Admit(5, false);
    records.Refresh(transport, false);
    Traffic();

    EXPECT_TRUE(records.ItemExists("R", "x"));
    EXPECT_EQ(MessageOf([&] { Load("R", "x"); }), "Record duplicato: R.");
    EXPECT_EQ(MessageOf([&] { Save("R", "x", Pattern(1)); }), "Record duplicato: R.");
    EXPECT_EQ(MessageOf([&] { Load("S", "f"); }), "File duplicato: f.");
    EXPECT_EQ(MessageOf([&] { Save("S", "f", Pattern(1)); }), "File duplicato: f.");
    EXPECT_FALSE(records.ItemExists("hidden", "x"));
    EXPECT_FALSE(records.ItemExists("reserve", "x"));
    EXPECT_EQ(MessageOf([&] { Load("hidden", "x"); }), "Record non trovato: hidden.");

    // A save to the unadmitted name makes a new record in the lowest free slot.
    Save("hidden", "x", Pattern(2));
    EXPECT_EQ(Traffic().flashWrites, (std::vector<TSimRange>{{SlotAddress(0), 76 + 4 + 20 + 2}}));
    EXPECT_EQ(sim.ReadSlot(5), velksim::RecordSlotImage("hidden", SimItems({{"x", Pattern(4)}})));
}

TEST_F(SimRecordsTest, NoFreeSlotChangesNothing) {
    for (int32_t slot = 0; slot < 30; ++slot)
        PutSlot(slot, "R" + std::to_string(slot), {{"x", Pattern(1)}});
    records.Refresh(transport, false);
    const TBytes flash = sim.ReadFlash(velksim::FlashBase, velksim::FlashSize);
    const TBytes memory = ImageBytes(records.RecordAt(0));
    Traffic();

    EXPECT_EQ(MessageOf([&] { Save("new", "x", Pattern(4)); }), "Record vuoto non disponibile.");
    EXPECT_EQ(Traffic().transmissionsReceived, 0);
    EXPECT_EQ(sim.ReadFlash(velksim::FlashBase, velksim::FlashSize), flash);
    EXPECT_EQ(ImageBytes(records.RecordAt(0)), memory);
    EXPECT_EQ(records.FindRecord("new"), -1);
}

TEST_F(SimRecordsTest, FailingFirstReadOfARefreshLeavesNothingFound) {
    PutSlot(0, "SET", {{"SET", Pattern(64)}});
    records.Refresh(transport, false);
    ASSERT_TRUE(records.ItemExists("SET", "SET"));

    velksim::TSimFaults faults;
    faults.refuseReads = 1;
    sim.SetFaults(faults);
    EXPECT_EQ(MessageOf([&] { records.Refresh(transport, false); }),
              "Errore leggendo il record all'indirizzo: 0x34020000.");
    EXPECT_FALSE(records.ItemExists("SET", "SET"));
    EXPECT_EQ(MessageOf([&] { Load("SET", "SET"); }), "Record non trovato: SET.");

    // A save now refreshes first, fails the same way and writes nothing.
    Traffic();
    EXPECT_EQ(MessageOf([&] { Save("SET", "SET", Pattern(3)); }),
              "Errore leggendo il record all'indirizzo: 0x34020000.");
    EXPECT_EQ(Traffic().writeFlashRequests, 0);
}

// Several items saved at once give the slot the single saves would give it,
// in one write; a refused write leaves memory and flash as they were.
TEST_F(SimRecordsTest, SaveOfSeveralItemsWritesTheRecordOnce) {
    const TItemList before = {{"a", Pattern(10)}, {"b", Pattern(300)}};
    const TItemList saves = {{"b", Pattern(2001, 3)}, {"c", Pattern(40, 4)}, {"a", {}}, {"c", Pattern(6, 5)}};
    PutSlot(3, "pictures", before);
    records.Refresh(transport, false);
    for (const auto &[name, data] : saves)
        Save("pictures", name, data);
    // The record's bytes; behind them the single saves leave what earlier,
    // longer versions of the record wrote.
    const int32_t size = records.RecordAt(3).TotalSize();
    const TBytes single = sim.ReadSlot(3);

    PutSlot(3, "pictures", before);
    records.Refresh(transport, false);
    Traffic();
    std::vector<TRecordItemData> items;
    for (const auto &[name, data] : saves)
        items.push_back({name, data.data(), int32_t(data.size())});
    EXPECT_EQ(records.SaveItems(transport, "pictures", items), 3);
    const velksim::TSimCounters save = Traffic();
    EXPECT_EQ(save.writeFlashRequests, 1);
    const TBytes batch = sim.ReadSlot(3);
    EXPECT_TRUE(std::equal(single.begin(), single.begin() + size, batch.begin()));
    EXPECT_EQ(records.RecordAt(3).TotalSize(), size);

    // A new record: allocated, written once, found after a refresh.
    EXPECT_EQ(records.SaveItems(transport, "fresh", items), 0);
    EXPECT_EQ(Traffic().writeFlashRequests, 1);
    records.Refresh(transport, false);
    EXPECT_EQ(Load("fresh", "c"), Pattern(6, 5));
    EXPECT_EQ(Load("fresh", "b"), Pattern(2001, 3));

    const TBytes flash = sim.ReadFlash(velksim::FlashBase, velksim::FlashSize);
    Load("pictures", "a");
    const TBytes memory = ImageBytes(records.RecordAt(3));
    velksim::TSimFaults faults;
    faults.refuseWrites = 1;
    sim.SetFaults(faults);
    EXPECT_EQ(MessageOf([&] { records.SaveItems(transport, "pictures", items); }),
              "Errore scrivendo il record all'indirizzo: 0x34050000.");
    EXPECT_EQ(ImageBytes(records.RecordAt(3)), memory);
    EXPECT_EQ(MessageOf([&] { records.SaveItems(transport, "other", items); }),
              "Errore scrivendo il record all'indirizzo: 0x34030000.");
    EXPECT_FALSE(records.RecordAt(1).InUse());
    EXPECT_EQ(sim.ReadFlash(velksim::FlashBase, velksim::FlashSize), flash);

    // Too much for one record: nothing is written.
    sim.ClearFaults();
    const TBytes big(40000, 1);
    const std::vector<TRecordItemData> tooMuch = {{"x", big.data(), 40000}, {"y", big.data(), 40000}};
    Traffic();
    EXPECT_EQ(MessageOf([&] { records.SaveItems(transport, "pictures", tooMuch); }),
              "Spazio su record insufficiente, impossibile continuare.");
    EXPECT_EQ(Traffic().writeFlashRequests, 0);
}

TEST_F(SimRecordsTest, RefusedWriteReleasesTheNewSlot) {
    records.Refresh(transport, false);
    velksim::TSimFaults faults;
    faults.refuseWrites = 1;
    sim.SetFaults(faults);
    EXPECT_EQ(MessageOf([&] { Save("pictures", "a", Pattern(5)); }),
              "Errore scrivendo il record all'indirizzo: 0x34020000.");
    EXPECT_FALSE(records.RecordAt(0).InUse());
    EXPECT_EQ(records.Rat().Flag(0), 0);

    sim.ClearFaults();
    Save("pictures", "a", Pattern(5));
    records.Refresh(transport, false);
    EXPECT_EQ(Load("pictures", "a"), Pattern(5));
}

} // namespace
