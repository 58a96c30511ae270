#include "RecordTestSupport.h"
#include "velkcommon.h"
#include "velkrecord.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr uint32_t kSlot0 = TFakeDecoder::Base;

bool ZeroFrom(const velk_Record &record, int32_t position) {
    return std::all_of(record.Image() + position, record.Image() + velk_Record::ImageSize,
                       [](uint8_t b) { return b == 0; });
}

// An in-use record with a full table of empty items.
std::unique_ptr<velk_Record> FullTable() {
    auto record = MakeRecord("R");
    const int32_t n = velk_Record::MaxItemCount;
    record->SetItemCount(n);
    for (int32_t i = 0; i < n; ++i)
        record->SetItem(i, 4 + 20 * n, "e", 0);
    record->SetBodyLength(4 + 20 * n);
    return record;
}

TEST(RecordTest, ClearedRecordIsFreeValidAndSavesItsFirst64Bytes) {
    TFakeDecoder decoder;
    velk_Record record(kSlot0);
    EXPECT_FALSE(record.InUse());
    EXPECT_TRUE(record.IsValid());
    EXPECT_EQ(record.BodyLength(), 4);
    EXPECT_EQ(record.ItemCount(), 0);
    EXPECT_TRUE(record.Dirty());
    EXPECT_FALSE(record.Loaded());

    record.Save(decoder);
    ASSERT_EQ(decoder.Writes.size(), 1u);
    EXPECT_EQ(decoder.Writes[0].Address, kSlot0);
    EXPECT_EQ(decoder.Writes[0].Data.size(), 64u);
    EXPECT_FALSE(record.Dirty());
    record.Save(decoder); // clean: nothing is written
    EXPECT_EQ(decoder.Writes.size(), 1u);
}

TEST(RecordTest, AddItemAppendsAndMovesTheDataAreaForTheNewEntry) {
    auto record = MakeRecord("SET");
    ASSERT_TRUE(record->IsValid());
    const TBytes ten = Pattern(10, 0xA0);
    EXPECT_EQ(record->AddItem("first", ten.data(), 10), 0);
    EXPECT_EQ(record->ItemOffset(0), 24);
    EXPECT_EQ(record->BodyLength(), 34);
    EXPECT_EQ(record->ItemCount(), 1);
    // The entry at slot offsets 80..99, big-endian, and the data at 100.
    const uint8_t *image = record->Image();
    EXPECT_EQ(BytesToString(image + 80, 12), "first");
    EXPECT_EQ(ReadBE32(image + 92), 24u);
    EXPECT_EQ(ReadBE32(image + 96), 10u);
    EXPECT_TRUE(std::equal(ten.begin(), ten.end(), image + 100));

    const TBytes three = Pattern(3, 0x10);
    EXPECT_EQ(record->AddItem("second", three.data(), 3), 1);
    EXPECT_EQ(record->ItemOffset(0), 44);
    EXPECT_EQ(record->ItemOffset(1), 54);
    EXPECT_EQ(record->BodyLength(), 4 + 40 + 13);
    EXPECT_TRUE(std::equal(ten.begin(), ten.end(), record->ItemData(0)));
    EXPECT_TRUE(std::equal(three.begin(), three.end(), record->ItemData(1)));
    EXPECT_TRUE(record->IsValid());
}

TEST(RecordTest, AddItemAcceptsAnExactFitAndRefusesOneByteMore) {
    const int32_t fit = velk_Record::MaxBodyLength - 4 - 20; // FreeSpace is size + 20
    auto exact = MakeRecord("R");
    const TBytes big = Pattern(fit + 1);
    exact->AddItem("big", big.data(), fit);
    EXPECT_EQ(exact->FreeSpace(), 0);
    EXPECT_TRUE(exact->IsValid());

    auto over = MakeRecord("R");
    const TBytes before = ImageBytes(*over);
    EXPECT_EQ(MessageOf([&] { over->AddItem("big", big.data(), fit + 1); }),
              "Spazio su record insufficiente, impossibile continuare.");
    EXPECT_EQ(ImageBytes(*over), before);
}

TEST(RecordTest, AddItemRefusesAFullTable) {
    auto record = FullTable();
    ASSERT_TRUE(record->IsValid());
    EXPECT_EQ(MessageOf([&] { record->AddItem("x", nullptr, 0); }),
              "Tabella di allocazione file piena, impossibile continuare.");
}

TEST(RecordTest, DeleteItemClosesBothGapsAndZeroesTheFreedTail) {
    auto record = MakeRecord("R", {{"a", Pattern(5, 0x10)}, {"b", Pattern(7, 0x20)}, {"c", Pattern(9, 0x30)}});
    record->DeleteItem(1);
    ASSERT_EQ(record->ItemCount(), 2);
    EXPECT_EQ(record->ItemName(0), "a");
    EXPECT_EQ(record->ItemName(1), "c");
    EXPECT_EQ(record->ItemOffset(0), 44);
    EXPECT_EQ(record->ItemOffset(1), 49); // c directly after a
    EXPECT_EQ(record->ItemSize(1), 9);
    EXPECT_EQ(record->BodyLength(), 44 + 5 + 9);
    const TBytes c = Pattern(9, 0x30);
    EXPECT_TRUE(std::equal(c.begin(), c.end(), record->ItemData(1)));
    EXPECT_TRUE(ZeroFrom(*record, record->TotalSize()));
    EXPECT_TRUE(record->IsValid());

    record->DeleteItem(0);
    record->DeleteItem(0);
    EXPECT_EQ(record->ItemCount(), 0);
    EXPECT_EQ(record->BodyLength(), 4);
    EXPECT_TRUE(ZeroFrom(*record, 80)); // not even the last entry is left behind
    EXPECT_EQ(MessageOf([&] { record->DeleteItem(0); }), "Indice elemento non valido: 0.");
}

TEST(RecordTest, NamesAreCutToTheirFieldAndComparedExactly) {
    auto record = MakeRecord("pictures+more", {{"splash.fnt.backup", Pattern(2)}});
    EXPECT_EQ(record->Name(), "pictures");
    EXPECT_EQ(ReadBE32(record->Image() + 72), static_cast<uint32_t>(record->BodyLength())); // no terminator
    EXPECT_EQ(record->ItemName(0), "splash.fnt.b");
    EXPECT_EQ(record->FindItem("splash.fnt.backup"), -1);
    EXPECT_EQ(record->FindItem("splash.fnt.b"), 0);
    EXPECT_EQ(record->FindItem("SPLASH.FNT.B"), -1);
    EXPECT_EQ(record->CountItems("splash.fnt.b"), 1);
}

TEST(RecordTest, SettersCheckTheirRangeAndChangeNothingOnError) {
    auto record = MakeRecord("R", {{"a", Pattern(1)}});
    const TBytes before = ImageBytes(*record);
    EXPECT_EQ(MessageOf([&] { record->SetBodyLength(3); }), "Lunghezza record non valida: 3.");
    EXPECT_EQ(MessageOf([&] { record->SetBodyLength(65461); }), "Lunghezza record non valida: 65461.");
    EXPECT_EQ(MessageOf([&] { record->SetItemCount(-1); }), "Numero elementi record non valido: -1.");
    EXPECT_EQ(MessageOf([&] { record->SetItemCount(3273); }), "Numero elementi record non valido: 3273.");
    EXPECT_EQ(MessageOf([&] { record->GetItem(1); }), "Indice elemento non valido: 1.");
    EXPECT_EQ(MessageOf([&] { record->SetItemSize(-1, 0); }), "Indice elemento non valido: -1.");
    EXPECT_EQ(ImageBytes(*record), before);
}

TEST(RecordTest, ValidityFollowsTheChainOfEntries) {
    auto record = MakeRecord("R", {{"a", Pattern(4)}, {"b", Pattern(6)}});
    EXPECT_TRUE(record->IsValid());

    // A body longer than the items is valid; Repair fits it.
    record->SetBodyLength(record->BodyLength() + 100);
    EXPECT_TRUE(record->IsValid());
    EXPECT_TRUE(record->Repair());
    EXPECT_EQ(record->BodyLength(), 44 + 10);

    // A second entry that does not follow the first stays invalid.
    record->SetItemOffset(1, record->ItemOffset(1) + 1);
    EXPECT_FALSE(record->IsValid());
    EXPECT_FALSE(record->Repair());
    EXPECT_EQ(record->FindItem("a"), -1);
    EXPECT_EQ(record->CountItems("a"), 0);
    const std::string invalid = "Record non valido, impossibile effettuare l'operazione richiesta.";
    EXPECT_EQ(MessageOf([&] { record->AddItem("c", nullptr, 0); }), invalid);
    EXPECT_EQ(MessageOf([&] { record->DeleteItem(0); }), invalid);

    // An item running past the body, and a free record with any content.
    auto past = MakeRecord("R", {{"a", Pattern(4)}});
    past->SetItemSize(0, 5);
    EXPECT_FALSE(past->IsValid());
    past->SetInUse(false);
    EXPECT_TRUE(past->IsValid());
}

TEST(RecordTest, RepairClampsAnOversizedCountWhenTheTableChains) {
    auto record = FullTable();
    const int32_t n = velk_Record::MaxItemCount;
    uint8_t *raw = const_cast<uint8_t *>(record->Image());
    WriteBE32(raw + 76, 0x7FFFFFFF); // a count no table could hold
    WriteBE32(raw + 72, 0x80000000); // a negative body length
    EXPECT_FALSE(record->IsValid());
    EXPECT_EQ(MessageOf([&] { record->GetItem(n); }), "Indice elemento non valido: 3272.");
    EXPECT_TRUE(record->Repair());
    EXPECT_EQ(record->ItemCount(), n);
    EXPECT_EQ(record->BodyLength(), 4 + 20 * n);
}

TEST(RecordTest, SaveWritesOneTransferFromOffsetZeroRoundedToEven) {
    TFakeDecoder decoder;
    velk_Record record(kSlot0 + 0x10000);
    record.SetInUse(true);
    record.SetName("R");
    const uint8_t one = 0x5A;
    record.AddItem("x", &one, 1);
    ASSERT_EQ(record.TotalSize(), 101);
    record.Save(decoder);
    ASSERT_EQ(decoder.Writes.size(), 1u);
    EXPECT_EQ(decoder.Writes[0].Address, kSlot0 + 0x10000);
    EXPECT_EQ(decoder.Writes[0].Data, TBytes(record.Image(), record.Image() + 102));

    // An invalid record is written whole.
    record.SetItemOffset(0, 25);
    record.Save(decoder);
    EXPECT_EQ(decoder.Writes.back().Data.size(), 65536u);
}

TEST(RecordTest, FailedSaveKeepsTheRecordDirty) {
    TFakeDecoder decoder;
    decoder.FailWrites = true;
    auto record = std::make_unique<velk_Record>(0x341F0000);
    EXPECT_EQ(MessageOf([&] { record->Save(decoder); }), "Errore scrivendo il record all'indirizzo: 0x341F0000.");
    EXPECT_TRUE(record->Dirty());
}

TEST(RecordTest, PartialLoadReadsTheTableAndFullLoadTheBody) {
    TFakeDecoder decoder;
    auto source = MakeRecord("SET", {{"SET", Pattern(64)}, {"x", Pattern(3)}});
    uint8_t *raw = const_cast<uint8_t *>(source->Image());
    raw[2] = 0xAB; // reserved header bytes are kept as read
    raw[63] = 0xCD;
    PutRecord(decoder, 0, *source);

    velk_Record partial(kSlot0);
    partial.Load(decoder, false);
    ASSERT_EQ(decoder.FlashReads, (std::vector<std::pair<uint32_t, int32_t>>{{kSlot0, 80}, {kSlot0 + 76, 44}}));
    EXPECT_FALSE(partial.Loaded());
    EXPECT_FALSE(partial.Dirty());
    EXPECT_TRUE(std::equal(source->Image(), source->Image() + 120, partial.Image()));
    EXPECT_TRUE(ZeroFrom(partial, 120)); // no item data
    EXPECT_EQ(partial.FindItem("x"), 1);

    decoder.ResetCounters();
    velk_Record full(kSlot0);
    full.Load(decoder, true);
    EXPECT_EQ(decoder.FlashReads, (std::vector<std::pair<uint32_t, int32_t>>{{kSlot0, 80}, {kSlot0 + 76, 111}}));
    EXPECT_TRUE(full.Loaded());
    EXPECT_EQ(ImageBytes(full), ImageBytes(*source));
}

TEST(RecordTest, LoadOfAFreeSlotReadsOnlyItsHead) {
    TFakeDecoder decoder;
    std::fill(decoder.Slot(0), decoder.Slot(1), 0xFF); // erased flash
    velk_Record record(kSlot0);
    record.Load(decoder, true);
    EXPECT_EQ(decoder.FlashBytesRead, 80);
    EXPECT_FALSE(record.InUse());
    EXPECT_TRUE(std::all_of(record.Image(), record.Image() + 76, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(ZeroFrom(record, 76));
}

TEST(RecordTest, LoadRepairsTheBodyLength) {
    TFakeDecoder decoder;
    auto source = MakeRecord("R", {{"a", Pattern(8)}});
    source->SetBodyLength(500); // longer than the items
    PutRecord(decoder, 0, *source);
    velk_Record record(kSlot0);
    record.Load(decoder, false);
    EXPECT_EQ(record.BodyLength(), 32);
    EXPECT_FALSE(record.Dirty());

    // Out of range: no body is read, an empty record keeps status and name.
    WriteBE32(decoder.Slot(0) + 72, 70000);
    decoder.ResetCounters();
    record.Load(decoder, false);
    EXPECT_EQ(decoder.FlashBytesRead, 80);
    EXPECT_TRUE(record.InUse());
    EXPECT_EQ(record.Name(), "R");
    EXPECT_EQ(record.BodyLength(), 4);
    EXPECT_EQ(record.ItemCount(), 0);
}

TEST(RecordTest, FailedLoadLeavesTheRecordUnchanged) {
    TFakeDecoder decoder;
    PutRecord(decoder, 1, *MakeRecord("R", {{"a", Pattern(8)}}));
    auto record = MakeRecord("mine", {{"b", Pattern(3)}});
    const TBytes before = ImageBytes(*record);

    decoder.FailReadAt = kSlot0 + 0x10000;
    EXPECT_EQ(MessageOf([&] { record->Load(decoder, kSlot0 + 0x10000, true); }),
              "Errore leggendo il record all'indirizzo: 0x34030000.");
    decoder.FailReadAt = kSlot0 + 0x10000 + 76; // the body read
    EXPECT_EQ(MessageOf([&] { record->Load(decoder, kSlot0 + 0x10000, true); }),
              "Errore leggendo il record all'indirizzo: 0x34030000.");
    decoder.FailReadAt.reset();
    decoder.ShortenReadsBy = 1;
    EXPECT_EQ(MessageOf([&] { record->Load(decoder, kSlot0 + 0x10000, true); }),
              "Il contatore eccede la dimensione del buffer: 80.");
    EXPECT_EQ(ImageBytes(*record), before);
    EXPECT_TRUE(record->Dirty());
}

// A record not in use counts as valid whatever its bytes say, yet adding or
// deleting an item moves data by its item table: such an edit needs a sound
// table too, and is refused otherwise, with nothing changed.
const char *const kInvalid = "Record non valido, impossibile effettuare l'operazione richiesta.";

TEST(RecordTest, AFreeRecordWithABrokenTableIsNotEdited) {
    auto record = MakeRecord("R", {{"a", Pattern(10)}, {"b", Pattern(20)}});
    record->SetInUse(false);
    record->SetItemSize(0, 0x7FFFFF00); // as erased or foreign bytes may say
    ASSERT_TRUE(record->IsValid());     // not in use: valid all the same
    const TBytes image = ImageBytes(*record);

    EXPECT_EQ(MessageOf([&] { record->AddItem("c", Pattern(5).data(), 5); }), kInvalid);
    EXPECT_EQ(MessageOf([&] { record->DeleteItem(1); }), kInvalid);
    EXPECT_EQ(ImageBytes(*record), image);
}

TEST(RecordTest, AFreeRecordWithASoundTableIsStillEdited) {
    auto record = MakeRecord("R", {{"a", Pattern(10)}});
    record->SetInUse(false);
    EXPECT_EQ(record->AddItem("b", Pattern(3).data(), 3), 1);
    record->DeleteItem(0);
    EXPECT_EQ(record->ItemCount(), 1);
    EXPECT_EQ(record->ItemName(0), "b");
}

} // namespace
