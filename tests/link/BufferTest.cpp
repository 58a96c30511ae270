#include "velkclasses.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace {

std::string MessageOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const EBuffer &e) {
        return e.Message();
    }
    return "<no exception>";
}

TEST(BufferTest, AppendUseFillsCountAndRefusesOverflowWhole) {
    TBuffer b(4);
    EXPECT_EQ(b.Size(), 4);
    EXPECT_EQ(b.Count(), 0);
    b.WriteByte(1);
    b.WriteWord(0xA599);
    EXPECT_EQ(b.Count(), 3);
    EXPECT_EQ(b.Memory()[1], 0x99);
    EXPECT_EQ(b.Memory()[2], 0xA5);
    EXPECT_EQ(MessageOf([&] { b.WriteWord(1); }), "Spazio buffer insufficiente.");
    EXPECT_EQ(b.Count(), 3); // unchanged
    b.WriteByte(9);          // exactly the remaining space
    EXPECT_EQ(b.Count(), b.Size());
    EXPECT_EQ(MessageOf([&] { b.WriteByte(0); }), "Spazio buffer insufficiente.");
}

TEST(BufferTest, WriteLongWordIsHostOrder) {
    TBuffer b(4);
    b.WriteLongWord(0x11223344);
    EXPECT_EQ(std::vector<uint8_t>(b.Memory(), b.Memory() + 4), (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11}));
}

TEST(BufferTest, DataUseKeepsCountAndCopiesWholeAllocation) {
    TBuffer b;
    uint8_t ten[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    b.SetData(ten, 10);
    EXPECT_EQ(b.Size(), 10);
    EXPECT_EQ(b.Count(), 0);
    b.WriteByte(0xEE); // goes to offset 0
    EXPECT_EQ(b.Memory()[0], 0xEE);

    TBuffer copy(b);
    EXPECT_EQ(copy.Size(), 10);
    EXPECT_EQ(copy.Memory()[9], 9);

    uint8_t out[10] = {};
    TBuffer fresh;
    fresh.SetData(ten, 10);
    fresh.GetData(out, 10); // Count is 0, yet all of Size is copied
    EXPECT_EQ(std::memcmp(out, ten, 10), 0);
    EXPECT_EQ(MessageOf([&] { fresh.GetData(out, 11); }), "Il contatore eccede la dimensione del buffer: 11.");
}

TEST(BufferTest, SetSizeClampsCountAndTailFollows) {
    TBuffer b(8);
    for (int i = 0; i < 6; ++i)
        b.WriteByte(static_cast<uint8_t>(i));
    b.SetSize(4);
    EXPECT_EQ(b.Count(), 4);
    EXPECT_EQ(b.Tail(), b.Memory() + 4);
    EXPECT_EQ(b.Memory()[3], 3); // kept
    b.SetSize(0);
    EXPECT_EQ(b.Memory(), nullptr);
    EXPECT_EQ(b.Count(), 0);
}

TEST(BufferTest, SetCountRefusesBeyondSize) {
    TBuffer b(5);
    b.SetCount(5);
    EXPECT_EQ(b.Count(), 5);
    EXPECT_EQ(MessageOf([&] { b.SetCount(6); }), "Il valore eccede la dimensione del buffer: 6.");
    EXPECT_EQ(b.Count(), 5);
    EXPECT_EQ(MessageOf([&] { b.SetCount(-1); }), "Il valore eccede la dimensione del buffer: -1.");
    EXPECT_EQ(b.Count(), 5);
    b.Clear();
    EXPECT_EQ(b.Count(), 0);
    EXPECT_EQ(b.Size(), 5);
}

TEST(OwnerThreadCheckTest, OnlyTheCreatingThreadIsTheOwner) {
    TOwnerThreadCheck check;
    check.Check();
    check.Check(); // entered again from inside
    bool elsewhere = true;
    std::thread([&] { elsewhere = check.OnOwnerThread(); }).join();
    EXPECT_TRUE(check.OnOwnerThread());
    EXPECT_FALSE(elsewhere);
}

} // namespace
