#include "RecordTestSupport.h"
#include "velkcommon.h"
#include "velkeeprom.h"

#include <gtest/gtest.h>

namespace {

// An EEPROM image written byte by byte by a test and read in as the record
// directory reads it.
struct TImage {
    TFakeDecoder decoder;
    velk_Eeprom eeprom;
    void Set(int32_t offset, uint8_t value) {
        decoder.Eeprom[size_t(offset)] = value;
        eeprom.ReadImage(decoder);
    }
    void SetWord(int32_t word, uint32_t value) {
        WriteBE32(decoder.Eeprom.data() + velk_Eeprom::SlotWordsOffset + 4 * word, value);
        eeprom.ReadImage(decoder);
    }
};

std::vector<int32_t> FlaggedSlots(const velk_Eeprom &eeprom) {
    std::vector<int32_t> slots;
    for (int32_t j = 0; j < 30; ++j)
        if (eeprom.SlotFlag(j))
            slots.push_back(j);
    return slots;
}

TEST(EepromTest, ZeroImageFlagsNoSlot) {
    velk_Eeprom eeprom;
    EXPECT_TRUE(FlaggedSlots(eeprom).empty());
}

TEST(EepromTest, SlotsAboveTheReservedOneUseTheWordBelow) {
    TImage image;
    velk_Eeprom &eeprom = image.eeprom;
    for (int32_t word = 0; word < 29; ++word)
        image.SetWord(word, 0x80000000u);

    image.Set(velk_Eeprom::ReservedSlotOffset, 0); // reserved slot 0
    std::vector<int32_t> all;
    for (int32_t j = 1; j < 30; ++j)
        all.push_back(j);
    EXPECT_EQ(FlaggedSlots(eeprom), all);
    image.SetWord(4, 0);
    EXPECT_FALSE(eeprom.SlotFlag(5)); // slot 5 reads word 4
    EXPECT_TRUE(eeprom.SlotFlag(4));

    image.Set(velk_Eeprom::ReservedSlotOffset, 0xE0 | 29); // upper bits ignored
    EXPECT_EQ(eeprom.ReservedSlotIndex(), 29);
    EXPECT_FALSE(eeprom.SlotFlag(29));
    EXPECT_FALSE(eeprom.SlotFlag(4)); // slot 4 reads word 4 now
    EXPECT_TRUE(eeprom.SlotFlag(28));
}

TEST(EepromTest, WithoutAReservedSlotTheLastSlotReadsTheIndexByte) {
    TImage image;
    velk_Eeprom &eeprom = image.eeprom;
    for (uint8_t index : {uint8_t{30}, uint8_t{31}}) {
        image.Set(velk_Eeprom::ReservedSlotOffset, index);
        EXPECT_FALSE(eeprom.SlotFlag(29)) << int(index);
        // Bit 7 of the index byte is bit 31 of slot 29's word.
        image.Set(velk_Eeprom::ReservedSlotOffset, 0x80 | index);
        EXPECT_EQ(eeprom.ReservedSlotIndex(), index);
        EXPECT_TRUE(eeprom.SlotFlag(29)) << int(index);
    }
}

TEST(EepromTest, OnlyBit31OfASlotWordCounts) {
    TImage image;
    velk_Eeprom &eeprom = image.eeprom;
    image.Set(velk_Eeprom::ReservedSlotOffset, 29);
    image.SetWord(0, 0x80000000u);
    image.SetWord(1, 0xFFFFFFFFu);
    image.SetWord(2, 0x7FFFFFFFu);
    EXPECT_EQ(FlaggedSlots(eeprom), (std::vector<int32_t>{0, 1}));
}

TEST(EepromTest, ReadImageCopiesTheWholeEepromOrNothing) {
    TFakeDecoder decoder;
    decoder.Eeprom[0] = 0x11;
    decoder.Eeprom[8191] = 0x22;
    velk_Eeprom eeprom;
    eeprom.Fill(0x77);

    decoder.FailEeprom = true;
    EXPECT_EQ(MessageOf([&] { eeprom.ReadImage(decoder); }), "Errore leggendo l'Eeprom I\xB2"
                                                             "C del decoder.");
    decoder.FailEeprom = false;
    decoder.ShortenReadsBy = 1;
    EXPECT_EQ(MessageOf([&] { eeprom.ReadImage(decoder); }), "Il contatore eccede la dimensione del buffer: 8192.");
    EXPECT_EQ(eeprom.ByteAt(0), 0x77);
    EXPECT_EQ(eeprom.ByteAt(8191), 0x77);

    decoder.ShortenReadsBy = 0;
    eeprom.ReadImage(decoder);
    EXPECT_EQ(decoder.EepromBytesRead, 8192 * 2);
    EXPECT_EQ(eeprom.ByteAt(0), 0x11);
    EXPECT_EQ(eeprom.ByteAt(8191), 0x22);
    EXPECT_EQ(eeprom.WordAt(8188), 0x00000022u);
}

} // namespace
