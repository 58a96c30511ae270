// velkctl's own parts that need no decoder: numbers, hex dump, progress line,
// backup files and the restore plan.
#include "ctlbackup.h"
#include "ctlerror.h"
#include "ctlhexdump.h"
#include "ctlnumbers.h"
#include "ctlprogress.h"
#include "CtlTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(CtlNumbersTest, DecimalAndHexadecimalWithinBounds) {
    EXPECT_EQ(ParseNumber("0x34020000", "ADDR", 0, 0xFFFFFFFF), 0x34020000);
    EXPECT_EQ(ParseNumber("0XfF", "ADDR", 0, 0xFFFFFFFF), 255);
    EXPECT_EQ(ParseNumber("4294967295", "ADDR", 0, 0xFFFFFFFF), 0xFFFFFFFF);
    EXPECT_EQ(ParseNumber("1", "LEN", 1, 10), 1);
    for (const char *bad : {"", "0x", "12k", "-1", "+1", "4294967296", "0x100000000", "0", " 1"}) {
        try {
            ParseNumber(bad, "LEN", 1, 0xFFFFFFFF);
            ADD_FAILURE() << "accepted \"" << bad << "\"";
        } catch (const ECtlUsage &error) {
            EXPECT_EQ(std::string(error.what()).rfind("LEN: ", 0), 0u) << error.what();
        }
    }
}

TEST(CtlHexDumpTest, AddressesBytesAndPrintableText) {
    std::vector<uint8_t> data = {'S', 'E', 'T', 0, 0x7F, 0xE0};
    data.resize(18, 0x41);
    EXPECT_EQ(HexDump(data, 0x34020000),
              "34020000  53 45 54 00 7F E0 41 41  41 41 41 41 41 41 41 41  |SET...AAAAAAAAAA|\n"
              "34020010  41 41                                             |AA|\n");
    EXPECT_EQ(HexDump({}, 0), "");
}

TEST(CtlProgressTest, LineShowsPercentBytesRateAndTimeLeft) {
    const std::string half = FormatProgress({"write 0x34020000", 10, 20, 40960, 2.0}, 100);
    EXPECT_NE(half.find(" 50%"), std::string::npos) << half;
    EXPECT_NE(half.find("20.0 of 40.0 KiB"), std::string::npos) << half;
    EXPECT_NE(half.find("10.0 KiB/s"), std::string::npos) << half;
    EXPECT_NE(half.find("0:02 left"), std::string::npos) << half;

    const std::string unknown = FormatProgress({"read", 0, 0, 80, 0.5}, 100);
    EXPECT_NE(unknown.find("  0%"), std::string::npos) << unknown;
    EXPECT_EQ(unknown.find("left"), std::string::npos) << unknown;

    EXPECT_LE(FormatProgress({"a long label for a narrow terminal", 1, 3, 1 << 20, 1.0}, 30).size(), 30u);
}

TEST(CtlProgressTest, DisabledBarWritesNothing) {
    TempFolder folder;
    const auto path = folder.Path() / "err.txt";
    std::FILE *out = std::fopen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    {
        TProgressBar bar(false, out);
        bar.Begin("write", 100000);
        bar.Packets(50);
        for (int i = 1; i <= 50; ++i)
            bar.Advance(i);
        bar.End();
    }
    std::fclose(out);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TDecoderImage ErasedImage() {
    return {std::vector<uint8_t>(std::size_t(RecordSlots) * SlotBytes, 0xFF), std::vector<uint8_t>(EepromBytes, 0)};
}

TEST(CtlBackupTest, FilesRoundTripAndRestorePlanNamesWhatDiffers) {
    TempFolder folder;
    TDecoderImage image = ErasedImage();
    const auto slot = SlotImage("pictures", {{"ini", std::vector<uint8_t>(64, 1)}, {"basic.lut", {1, 2}}});
    std::copy(slot.begin(), slot.end(), image.Flash.begin() + 3 * SlotBytes);
    SaveBackup(folder.Path() / "b", image);

    const TDecoderImage back = LoadBackup(folder.Path() / "b");
    EXPECT_EQ(back.Flash, image.Flash);
    EXPECT_EQ(back.Eeprom, image.Eeprom);
    EXPECT_TRUE(PlanRestore(image, back).Empty());

    TDecoderImage changed = image;
    changed.Flash[7 * SlotBytes + 100] ^= 1;
    changed.Eeprom[0x108E] = 0x80;
    const TRestorePlan plan = PlanRestore(changed, image);
    EXPECT_EQ(plan.Slots, std::vector<int32_t>{7});
    EXPECT_TRUE(plan.Eeprom);

    EXPECT_EQ(DescribeSlot(image.Slot(3)), "record \"pictures\" (2 items)");
    EXPECT_EQ(DescribeSlot(image.Slot(0)), "free");
}

TEST(CtlBackupTest, DamagedBackupIsRefusedByName) {
    TempFolder folder;
    SaveBackup(folder.Path(), ErasedImage());
    auto refusal = [&] {
        try {
            LoadBackup(folder.Path());
        } catch (const ECtlUsage &error) {
            return std::string(error.what());
        }
        return std::string("(accepted)");
    };
    folder.Write("eeprom.bin", std::vector<uint8_t>(100));
    EXPECT_NE(refusal().find("eeprom.bin\" holds 100 bytes, not 8192"), std::string::npos) << refusal();
    std::filesystem::remove(folder.Path() / "flash.bin");
    EXPECT_NE(refusal().find("flash.bin"), std::string::npos) << refusal();
    folder.Write("backup.json", {'{', '}'});
    EXPECT_NE(refusal().find("does not describe a backup"), std::string::npos) << refusal();
}

} // namespace
