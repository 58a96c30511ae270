// Mended (found by fuzzing record images): a record not in use counts as valid
// whatever its bytes say, yet adding or deleting an item moves data by its
// item table. An edit of such a record now needs a sound table too, and is
// refused otherwise, with nothing changed.
#include "RecordTestSupport.h"

#include <gtest/gtest.h>

namespace {

const char *const kInvalid = "Record non valido, impossibile effettuare l'operazione richiesta.";

TEST(FreeRecordEditTest, AFreeRecordWithABrokenTableIsNotEdited) {
    auto record = MakeRecord("R", {{"a", Pattern(10)}, {"b", Pattern(20)}});
    record->SetInUse(false);
    record->SetItemSize(0, 0x7FFFFF00); // as erased or foreign bytes may say
    ASSERT_TRUE(record->IsValid());      // not in use: valid all the same
    const TBytes image = ImageBytes(*record);

    EXPECT_EQ(MessageOf([&] { record->AddItem("c", Pattern(5).data(), 5); }), kInvalid);
    EXPECT_EQ(MessageOf([&] { record->DeleteItem(1); }), kInvalid);
    EXPECT_EQ(ImageBytes(*record), image);
}

TEST(FreeRecordEditTest, AFreeRecordWithASoundTableIsStillEdited) {
    auto record = MakeRecord("R", {{"a", Pattern(10)}});
    record->SetInUse(false);
    EXPECT_EQ(record->AddItem("b", Pattern(3).data(), 3), 1);
    record->DeleteItem(0);
    EXPECT_EQ(record->ItemCount(), 1);
    EXPECT_EQ(record->ItemName(0), "b");
}

} // namespace
