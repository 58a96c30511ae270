// The record directory against a decoder kept in memory: lookups, allocation,
// and the exact flash traffic of refreshes, loads and saves.
#include "RecordTestSupport.h"
#include "velkcommon.h"
#include "velkrecords.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kBase = TFakeDecoder::Base;

class RecordsTest : public ::testing::Test {
protected:
    TFakeDecoder decoder;
    velk_Records records{kBase, 30};

    // Places a record in the slot's flash and gives the slot its slot flag.
    void Admit(int32_t slot, const std::string &name, const TItemList &items = {}) {
        PutRecord(decoder, slot, *MakeRecord(name, items));
        decoder.SetSlotFlag(slot);
    }
    TBytes Load(const std::string &record, const std::string &item) { return LoadItem(records, decoder, record, item); }
    void Save(const std::string &record, const std::string &item, const TBytes &data) {
        SaveItem(records, decoder, record, item, data);
    }
    // What a fresh directory reads back from the decoder.
    TBytes Reread(const std::string &record, const std::string &item) {
        velk_Records fresh(kBase, 30);
        fresh.Refresh(decoder, true);
        return LoadItem(fresh, decoder, record, item);
    }
};

TEST_F(RecordsTest, CreationClampsTheSlotCountAndPlacesTheSlots) {
    EXPECT_EQ(velk_Records(kBase, -1).SlotCount(), 0);
    EXPECT_EQ(velk_Records(kBase, 31).SlotCount(), 30);
    EXPECT_EQ(records.RecordAt(0).Address(), 0x34020000u);
    EXPECT_EQ(records.RecordAt(29).Address(), 0x341F0000u);
    EXPECT_EQ(MessageOf([&] { records.RecordAt(30); }), "Indice records non valido: 30.");
    EXPECT_EQ(MessageOf([&] { records.RecordAt(-1); }), "Indice records non valido: -1.");
}

TEST_F(RecordsTest, NothingIsFoundBeforeARefresh) {
    Admit(0, "SET", {{"SET", Pattern(64)}});
    EXPECT_FALSE(records.ItemExists("SET", "SET"));
    EXPECT_EQ(MessageOf([&] { Load("SET", "SET"); }), "Record non trovato: SET.");
    EXPECT_EQ(decoder.BytesRead(), 0);
}

TEST_F(RecordsTest, PartialRefreshReadsTablesThenEachRecordOnceOnDemand) {
    Admit(0, "SET", {{"SET", Pattern(64)}});
    Admit(3, "pictures", {{"a.bmp", Pattern(300)}, {"b.bmp", Pattern(5)}, {"c", {}}});
    records.Refresh(decoder, false);
    EXPECT_EQ(decoder.FlashBytesRead, 28 * 80 + (84 + 20) + (84 + 60));
    EXPECT_EQ(decoder.EepromBytesRead, 8192);
    EXPECT_TRUE(records.ItemExists("pictures", "b.bmp"));
    EXPECT_FALSE(records.ItemExists("pictures", "d"));

    decoder.ResetCounters();
    EXPECT_EQ(Load("pictures", "b.bmp"), Pattern(5));
    const int32_t body = 4 + 60 + 305;
    EXPECT_EQ(decoder.FlashReads,
              (std::vector<std::pair<uint32_t, int32_t>>{{kBase + 0x30000, 80}, {kBase + 0x30000 + 76, body}}));
    decoder.ResetCounters();
    EXPECT_EQ(Load("pictures", "a.bmp"), Pattern(300));
    EXPECT_EQ(Load("pictures", "c"), TBytes{});
    EXPECT_EQ(decoder.BytesRead(), 0);
}

TEST_F(RecordsTest, AfterAFullRefreshLoadsReadNothing) {
    Admit(2, "SET", {{"SET", Pattern(64)}});
    records.Refresh(decoder, true);
    EXPECT_EQ(decoder.FlashBytesRead, 29 * 80 + 80 + (4 + 20 + 64));
    decoder.ResetCounters();
    EXPECT_EQ(Load("SET", "SET"), Pattern(64));
    EXPECT_EQ(decoder.BytesRead(), 0);
}

TEST_F(RecordsTest, OnlySlotsWithTheirEepromFlagAreFound) {
    Admit(0, "A");
    PutRecord(decoder, 1, *MakeRecord("B")); // in use, no slot flag
    PutRecord(decoder, 29, *MakeRecord("C"));
    decoder.SetSlotFlag(28); // slot 29 is the reserved slot: no word serves it
    records.Refresh(decoder, false);
    EXPECT_EQ(records.FindRecord("A"), 0);
    EXPECT_EQ(records.FindRecord("B"), -1);
    EXPECT_EQ(records.FindRecord("C"), -1);
    EXPECT_EQ(records.Rat().Flag(1), 0);
    EXPECT_EQ(MessageOf([&] { Load("B", "x"); }), "Record non trovato: B.");

    // A flagged slot that is free stays unadmitted; allocation skips slot 1
    // (in use) and takes slot 2, which is then found until the next refresh.
    decoder.SetSlotFlag(2);
    records.Refresh(decoder, false);
    EXPECT_EQ(records.Rat().Flag(2), 0);
    decoder.SetSlotFlag(2, false);
    decoder.SetSlotFlag(28, false); // no free slot keeps its flag: allocation falls back
    records.Refresh(decoder, false);
    EXPECT_EQ(records.AllocateRecord("new"), 2);
    EXPECT_EQ(records.FindRecord("new"), 2);
    records.Refresh(decoder, false);
    EXPECT_EQ(records.FindRecord("new"), -1);
}

TEST_F(RecordsTest, DuplicatesOfRecordsAndItemsAreRefused) {
    Admit(4, "R", {{"x", Pattern(1)}});
    Admit(6, "R", {{"y", Pattern(2)}});
    Admit(7, "S", {{"f", Pattern(1)}, {"f", Pattern(2)}});
    records.Refresh(decoder, false);
    EXPECT_EQ(records.CountRecords("R"), 2);
    EXPECT_TRUE(records.ItemExists("R", "x")); // the lower slot answers
    EXPECT_FALSE(records.ItemExists("R", "y"));
    decoder.ResetCounters();
    EXPECT_EQ(MessageOf([&] { Load("R", "x"); }), "Record duplicato: R.");
    EXPECT_EQ(MessageOf([&] { Save("R", "x", Pattern(3)); }), "Record duplicato: R.");
    EXPECT_EQ(MessageOf([&] { Load("S", "f"); }), "File duplicato: f.");
    EXPECT_EQ(MessageOf([&] { Save("S", "f", Pattern(3)); }), "File duplicato: f.");
    EXPECT_EQ(MessageOf([&] { Load("S", "g"); }), "File non trovato: g.");
    EXPECT_TRUE(decoder.Writes.empty());
}

TEST_F(RecordsTest, SaveWritesOneSlotAndAReplacedItemMovesToTheEnd) {
    Admit(5, "pictures", {{"a", Pattern(10)}, {"b", Pattern(11)}, {"c", Pattern(12)}});
    records.Refresh(decoder, false);
    decoder.ResetCounters();
    Save("pictures", "a", Pattern(7, 0x40));
    // One full read of the partially loaded record, then one write from its status word.
    EXPECT_EQ(decoder.FlashReads.size(), 2u);
    ASSERT_EQ(decoder.Writes.size(), 1u);
    const velk_Record &record = records.RecordAt(5);
    EXPECT_EQ(decoder.Writes[0].Address, kBase + 5 * 0x10000);
    EXPECT_EQ(decoder.Writes[0].Data.size(), static_cast<size_t>(RoundUpToEven(record.TotalSize())));
    EXPECT_EQ(record.ItemCount(), 3);
    EXPECT_EQ(record.ItemName(2), "a");
    EXPECT_EQ(record.CountItems("a"), 1);
    EXPECT_FALSE(record.Dirty());

    decoder.ResetCounters();
    Save("pictures", "d", {}); // an empty item; the record is fully loaded now
    EXPECT_EQ(decoder.BytesRead(), 0);
    EXPECT_EQ(decoder.Writes.size(), 1u);
    EXPECT_EQ(Reread("pictures", "a"), Pattern(7, 0x40));
    EXPECT_EQ(Reread("pictures", "b"), Pattern(11));
    EXPECT_EQ(Reread("pictures", "d"), TBytes{});
}

// A record in a slot without its slot flag is lost to lookups at the next
// refresh, so allocation takes such a slot only when no flagged one is free.
TEST_F(RecordsTest, AllocationPrefersAFreeSlotWithItsFlag) {
    Admit(0, "SET");
    decoder.SetSlotFlag(7);
    decoder.SetSlotFlag(9);
    EXPECT_EQ(records.AllocateRecord("early"), 0) << "before a refresh no flag is known";

    records.Refresh(decoder, false);
    EXPECT_TRUE(records.HasSlotFlag(7));
    EXPECT_FALSE(records.HasSlotFlag(1));
    EXPECT_FALSE(records.HasSlotFlag(30));
    EXPECT_EQ(records.AllocateRecord("a"), 7);
    EXPECT_EQ(records.AllocateRecord("b"), 9);
    EXPECT_EQ(records.AllocateRecord("c"), 1) << "fallback: the lowest free slot";
    EXPECT_FALSE(records.HasSlotFlag(1));

    Save("d", "x", Pattern(3));
    EXPECT_EQ(records.FindRecord("d"), 2);
    decoder.SetSlotFlag(12);
    records.Refresh(decoder, false);
    Save("e", "x", Pattern(3));
    EXPECT_EQ(records.FindRecord("e"), 7);
    records.Refresh(decoder, false);
    EXPECT_EQ(Load("e", "x"), Pattern(3)) << "found again after the refresh";
}

TEST_F(RecordsTest, NoFreeSlotLeavesMemoryAndFlashUnchanged) {
    for (int32_t slot = 0; slot < 30; ++slot)
        Admit(slot, "R" + std::to_string(slot));
    records.Refresh(decoder, false);
    const TBytes flash = decoder.Flash;
    const TBytes slot7 = ImageBytes(records.RecordAt(7));
    EXPECT_EQ(MessageOf([&] { Save("new", "x", Pattern(4)); }), "Record vuoto non disponibile.");
    EXPECT_EQ(decoder.Flash, flash);
    EXPECT_EQ(ImageBytes(records.RecordAt(7)), slot7);
    EXPECT_EQ(records.FindRecord("new"), -1);
}

TEST_F(RecordsTest, FailingRefreshLeavesNothingFound) {
    Admit(0, "SET", {{"SET", Pattern(64)}});
    records.Refresh(decoder, false);
    ASSERT_TRUE(records.ItemExists("SET", "SET"));
    decoder.FailReadAt = kBase;
    EXPECT_EQ(MessageOf([&] { records.Refresh(decoder, false); }),
              "Errore leggendo il record all'indirizzo: 0x34020000.");
    EXPECT_FALSE(records.ItemExists("SET", "SET"));

    decoder.FailReadAt.reset();
    decoder.FailEeprom = true; // every slot read, the EEPROM fails: still nothing found
    EXPECT_EQ(MessageOf([&] { records.Refresh(decoder, false); }), "Errore leggendo l'Eeprom I\xB2"
                                                                   "C del decoder.");
    EXPECT_TRUE(records.RecordAt(0).InUse());
    EXPECT_EQ(records.FindRecord("SET"), -1);
}

TEST_F(RecordsTest, LoadAndSaveNoticeARecordChangedSinceThePartialRefresh) {
    Admit(0, "SET", {{"SET", Pattern(64)}});
    Admit(1, "P", {{"a", Pattern(3)}});
    records.Refresh(decoder, false);
    PutRecord(decoder, 0, *MakeRecord("OTHER", {{"SET", Pattern(64)}}));
    PutRecord(decoder, 1, *MakeRecord("P", {{"b", Pattern(3)}}));
    TBuffer buffer;
    buffer.SetData("keep", 4);
    EXPECT_EQ(MessageOf([&] { records.LoadItem(decoder, "SET", "SET", buffer); }), "Record non coerente: SET.");
    EXPECT_EQ(MessageOf([&] { records.LoadItem(decoder, "P", "a", buffer); }), "File non coerente: a.");
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(buffer.Memory()), buffer.Size()), "keep");

    // A save notices it too, and writes nothing.
    Admit(2, "Q", {{"a", Pattern(3)}});
    records.Refresh(decoder, false);
    PutRecord(decoder, 2, velk_Record(0));
    EXPECT_EQ(MessageOf([&] { Save("Q", "a", Pattern(1)); }), "Record non coerente: Q.");
    EXPECT_TRUE(decoder.Writes.empty());
}

// A save without a completed refresh refreshes first instead of taking
// slot 0 blindly.
TEST_F(RecordsTest, SaveWithoutARefreshRefreshesFirst) {
    Admit(0, "SET", {{"SET", Pattern(64)}});
    const TBytes slot0(decoder.Slot(0), decoder.Slot(1));
    Save("pictures", "a", Pattern(9));
    EXPECT_EQ(decoder.EepromBytesRead, 8192);
    ASSERT_EQ(decoder.Writes.size(), 1u);
    EXPECT_EQ(decoder.Writes[0].Address, kBase + 0x10000);
    EXPECT_EQ(TBytes(decoder.Slot(0), decoder.Slot(1)), slot0);
    EXPECT_TRUE(records.ItemExists("SET", "SET"));

    // A refresh that fails leaves the directory unrefreshed: the next save
    // refreshes again, fails with the refresh's message and writes nothing.
    decoder.FailReadAt = kBase + 0x20000;
    decoder.ResetCounters();
    EXPECT_EQ(MessageOf([&] { records.Refresh(decoder, false); }),
              "Errore leggendo il record all'indirizzo: 0x34040000.");
    EXPECT_EQ(MessageOf([&] { Save("pictures", "b", Pattern(2)); }),
              "Errore leggendo il record all'indirizzo: 0x34040000.");
    EXPECT_TRUE(decoder.Writes.empty());
}

// A slot allocated for a save that then fails is released again.
TEST_F(RecordsTest, FailedSaveReleasesTheSlotItAllocated) {
    Admit(0, "SET");
    records.Refresh(decoder, false);
    const TBytes flash = decoder.Flash;

    decoder.FailWrites = true;
    EXPECT_EQ(MessageOf([&] { Save("pictures", "a", Pattern(9)); }),
              "Errore scrivendo il record all'indirizzo: 0x34030000.");
    EXPECT_FALSE(records.RecordAt(1).InUse());
    EXPECT_EQ(records.Rat().Flag(1), 0);
    EXPECT_EQ(records.FindRecord("pictures"), -1);

    decoder.FailWrites = false;
    const TBytes tooBig(velk_Record::MaxBodyLength, 1);
    EXPECT_EQ(MessageOf([&] { Save("pictures", "a", tooBig); }),
              "Spazio su record insufficiente, impossibile continuare.");
    EXPECT_FALSE(records.RecordAt(1).InUse());
    EXPECT_EQ(records.Rat().Flag(1), 0);
    EXPECT_EQ(decoder.Flash, flash);

    // The slot is taken again by the next save, which stores a whole record.
    Save("pictures", "a", Pattern(9));
    EXPECT_EQ(records.FindRecord("pictures"), 1);
    decoder.SetSlotFlag(1);
    EXPECT_EQ(Reread("pictures", "a"), Pattern(9));
}

// A replacement that does not fit keeps the old item, in memory as in
// flash, so a later save of another item cannot drop it from the decoder.
TEST_F(RecordsTest, ReplacementThatDoesNotFitKeepsTheOldItem) {
    Admit(0, "R", {{"a", Pattern(100)}, {"b", Pattern(5)}});
    records.Refresh(decoder, true);
    const TBytes tooBig(velk_Record::MaxBodyLength - 40, 7);
    EXPECT_EQ(MessageOf([&] { Save("R", "a", tooBig); }), "Spazio su record insufficiente, impossibile continuare.");
    EXPECT_TRUE(records.ItemExists("R", "a"));
    EXPECT_FALSE(records.RecordAt(0).Dirty());
    Save("R", "c", Pattern(3));
    EXPECT_EQ(Reread("R", "a"), Pattern(100));
    EXPECT_EQ(Reread("R", "c"), Pattern(3));
}

// After a record write that failed, the decoder may hold the old record or the
// new one. The directory builds no later save on its own guess and answers no
// load from it: memory goes back to the old record and the next load or save
// reads the directory again.

// The fake decoder, with a switch that loses the answer to a write the decoder
// did take (the library sees a failure, the flash holds the new record).
class TLosingDecoder : public TRecordTransport {
public:
    TFakeDecoder decoder;
    bool LoseWriteAnswers = false;

    void ReadFlash(uint32_t address, int32_t length) override {
        writing_ = false;
        decoder.ReadFlash(address, length);
    }
    void SendFlash(const void *data, uint32_t address, int32_t length) override {
        writing_ = true;
        decoder.SendFlash(data, address, length);
    }
    void ReadEeprom(uint32_t address, int32_t length) override {
        writing_ = false;
        decoder.ReadEeprom(address, length);
    }
    bool WaitFor() override { return decoder.WaitFor() && !(writing_ && LoseWriteAnswers); }
    TBuffer &GetBuffer() override { return decoder.GetBuffer(); }

private:
    bool writing_ = false;
};

class RecordsWriteFailureTest : public ::testing::Test {
protected:
    TLosingDecoder line;
    velk_Records records{kBase, 30};

    void Admit(int32_t slot, const std::string &name, const TItemList &items = {}) {
        PutRecord(line.decoder, slot, *MakeRecord(name, items));
        line.decoder.SetSlotFlag(slot);
    }
    void Save(const std::string &record, const std::string &item, const TBytes &data) {
        SaveItem(records, line, record, item, data);
    }
    TBytes Load(const std::string &record, const std::string &item) { return LoadItem(records, line, record, item); }
    // What a fresh directory reads back from the decoder.
    TBytes Reread(const std::string &record, const std::string &item) {
        velk_Records fresh(kBase, 30);
        fresh.Refresh(line.decoder, true);
        return LoadItem(fresh, line.decoder, record, item);
    }
};

TEST_F(RecordsWriteFailureTest, AnEditWhoseWriteFailedNeverReachesFlashWithALaterSave) {
    Admit(0, "R", {{"a", Pattern(10)}});
    records.Refresh(line, true);

    line.decoder.FailWrites = true;
    EXPECT_EQ(MessageOf([&] { Save("R", "a", Pattern(40, 9)); }),
              "Errore scrivendo il record all'indirizzo: 0x34020000.");
    EXPECT_EQ(Load("R", "a"), Pattern(10)); // the decoder's, not the failed edit

    line.decoder.FailWrites = false;
    Save("R", "c", Pattern(3));
    EXPECT_EQ(Reread("R", "a"), Pattern(10));
    EXPECT_EQ(Reread("R", "c"), Pattern(3));
}

// A deletion has the checks of a load and the safeguards of a save.
TEST_F(RecordsWriteFailureTest, FailedDeletionLeavesTheItemInMemoryAndInFlash) {
    Admit(0, "R", {{"a", Pattern(10)}, {"b", Pattern(5)}});
    const TBytes flash = line.decoder.Flash;
    // Without a refresh the directory refreshes first.
    EXPECT_EQ(MessageOf([&] { records.DeleteItem(line, "Q", "a"); }), "Record non trovato: Q.");
    EXPECT_EQ(MessageOf([&] { records.DeleteItem(line, "R", "x"); }), "File non trovato: x.");

    line.decoder.FailWrites = true;
    EXPECT_EQ(MessageOf([&] { records.DeleteItem(line, "R", "a"); }),
              "Errore scrivendo il record all'indirizzo: 0x34020000.");
    EXPECT_EQ(line.decoder.Flash, flash);
    EXPECT_TRUE(records.ItemExists("R", "a"));
    line.decoder.FailWrites = false;
    EXPECT_EQ(Load("R", "a"), Pattern(10));

    records.DeleteItem(line, "R", "a");
    EXPECT_FALSE(records.ItemExists("R", "a"));
    EXPECT_EQ(Reread("R", "b"), Pattern(5));
    EXPECT_EQ(MessageOf([&] { Reread("R", "a"); }), "File non trovato: a.");
}

TEST_F(RecordsWriteFailureTest, AfterALostAnswerLoadsAndSavesFollowWhatTheDecoderHolds) {
    Admit(0, "R", {{"a", Pattern(10)}, {"b", Pattern(5)}});
    records.Refresh(line, true);

    line.LoseWriteAnswers = true;
    EXPECT_EQ(MessageOf([&] { Save("R", "a", Pattern(40, 9)); }),
              "Errore scrivendo il record all'indirizzo: 0x34020000.");
    line.LoseWriteAnswers = false;
    // The decoder took the write: a load brings its bytes, a save keeps them.
    EXPECT_EQ(Load("R", "a"), Pattern(40, 9));
    Save("R", "c", Pattern(3));
    EXPECT_EQ(Reread("R", "a"), Pattern(40, 9));
    EXPECT_EQ(Reread("R", "b"), Pattern(5));
    EXPECT_EQ(Reread("R", "c"), Pattern(3));
}

TEST_F(RecordsWriteFailureTest, ARecordWrittenDespiteAFailureIsNotOverwrittenByTheNextNewRecord) {
    Admit(0, "SET", {{"SET", Pattern(64)}});
    line.decoder.SetSlotFlag(1);
    line.decoder.SetSlotFlag(2);
    records.Refresh(line, false);

    line.LoseWriteAnswers = true;
    EXPECT_EQ(MessageOf([&] { Save("new", "x", Pattern(7)); }),
              "Errore scrivendo il record all'indirizzo: 0x34030000.");
    line.LoseWriteAnswers = false;
    // Slot 1 holds "new" in the decoder: another new record goes elsewhere.
    Save("other", "z", Pattern(4));
    ASSERT_FALSE(line.decoder.Writes.empty());
    EXPECT_EQ(line.decoder.Writes.back().Address, kBase + 2 * 0x10000);
    EXPECT_EQ(Reread("new", "x"), Pattern(7));
    EXPECT_EQ(Reread("other", "z"), Pattern(4));
}

} // namespace
