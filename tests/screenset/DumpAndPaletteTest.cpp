#include "TempFolder.h"
#include "palettefile.h"
#include "screendump.h"
#include "screenerror.h"
#include "screenfiles.h"

#include <gtest/gtest.h>

namespace {

class FakeSource : public TSettingsSource {
public:
    bool RefreshWorks = true;
    bool Exists = true;
    std::optional<std::vector<uint8_t>> Item;
    std::vector<std::string> Calls;

    bool Refresh() override {
        Calls.push_back("refresh");
        return RefreshWorks;
    }
    bool ItemExists(std::string_view record, std::string_view item) override {
        Calls.push_back("exists " + std::string(record) + "/" + std::string(item));
        return Exists;
    }
    std::optional<std::vector<uint8_t>> LoadItem(std::string_view record, std::string_view item) override {
        Calls.push_back("load " + std::string(record) + "/" + std::string(item));
        return Item;
    }
};

TEST(SettingsDumpTest, FileHoldsExactlyTheItemAndLosesStaleBytes) {
    TempFolder folder;
    const auto file = folder.Write("set.bin", Pattern(5000, 9));
    FakeSource source;
    source.Item = Pattern(300, 1);
    const TDumpResult result = RunSettingsDump(source, file);
    EXPECT_EQ(result.Outcome, TDumpOutcome::Written);
    EXPECT_EQ(result.Bytes, 300u);
    EXPECT_EQ(TempFolder::Read(file), Pattern(300, 1));
    EXPECT_EQ(source.Calls, (std::vector<std::string>{"refresh", "exists SET/SET", "load SET/SET"}));

    source.Item = std::vector<uint8_t>{};
    EXPECT_EQ(RunSettingsDump(source, file).Bytes, 0u);
    EXPECT_TRUE(TempFolder::Read(file).empty()) << "an empty item leaves an empty file";
}

TEST(SettingsDumpTest, NoFileUnlessTheItemWasLoaded) {
    TempFolder folder;
    const auto file = folder.Path() / "set.bin";
    FakeSource source;

    source.Exists = false;
    TDumpResult result = RunSettingsDump(source, file);
    EXPECT_EQ(result.Outcome, TDumpOutcome::NoSetRecord);
    EXPECT_EQ(result.Message(), "Record SET does not exist");

    source.Exists = true;
    result = RunSettingsDump(source, file);
    EXPECT_EQ(result.Outcome, TDumpOutcome::LoadFailed);
    EXPECT_EQ(result.Message(), "Error loading settings");

    source.RefreshWorks = false;
    source.Calls.clear();
    result = RunSettingsDump(source, file);
    EXPECT_EQ(result.Outcome, TDumpOutcome::RefreshFailed);
    EXPECT_EQ(source.Calls, std::vector<std::string>{"refresh"});
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(SettingsDumpTest, UnwritableFileIsNamed) {
    TempFolder folder;
    FakeSource source;
    source.Item = Pattern(4);
    const auto file = folder.Path() / "no-such-folder" / "set.bin";
    try {
        RunSettingsDump(source, file);
        FAIL() << "wrote into a missing folder";
    } catch (const EScreenSet &error) {
        EXPECT_NE(std::string(error.what()).find(file.string()), std::string::npos) << error.what();
    }
}

TEST(PaletteFileTest, SavingWithoutEditsKeepsEveryByte) {
    TempFolder folder;
    const auto exact = folder.Write("exact.lut", Pattern(64, 200));
    SavePalette(exact, LoadPalette(exact));
    EXPECT_EQ(TempFolder::Read(exact), Pattern(64, 200));

    const auto longer = folder.Write("longer.lut", Pattern(100, 3));
    SavePalette(longer, LoadPalette(longer));
    EXPECT_EQ(TempFolder::Read(longer), Pattern(100, 3));
}

TEST(PaletteFileTest, EntryFiveOwnsBytesTwentyToTwentyThree) {
    TempFolder folder;
    const auto file = folder.Write("p.lut", Pattern(80));
    TPalette palette = LoadPalette(file);
    EXPECT_EQ(palette[5], (TPaletteEntry{20, 21, 22, 23}));
    palette[5].Red = 0xAA;
    palette[5].Alpha = 0x05;
    SavePalette(file, palette);
    std::vector<uint8_t> expected = Pattern(80);
    expected[20] = 0xAA;
    expected[23] = 0x05;
    EXPECT_EQ(TempFolder::Read(file), expected);
}

TEST(PaletteFileTest, ShortFileGivesZeroEntriesAndMissingFileIsRefused) {
    TempFolder folder;
    const TPalette palette = LoadPalette(folder.Write("short.lut", Pattern(6, 1)));
    EXPECT_EQ(palette[0], (TPaletteEntry{1, 2, 3, 4}));
    EXPECT_EQ(palette[1], (TPaletteEntry{5, 6, 0, 0}));
    EXPECT_EQ(palette[15], TPaletteEntry{});

    const auto missing = folder.Path() / "missing.lut";
    try {
        LoadPalette(missing);
        FAIL() << "missing palette loaded";
    } catch (const EScreenSet &error) {
        EXPECT_NE(std::string(error.what()).find("missing.lut"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(missing)) << "loading must not create the file";
}

TEST(PaletteFileTest, ToolTipShowsTheColourInHexadecimal) {
    EXPECT_EQ(PaletteToolTip({255, 0, 16, 3}), " rgb FF0010 ");
}

TEST(WholeFileTest, FolderCannotBeReadAndIsNamed) {
    TempFolder folder;
    try {
        ReadWholeFile(folder.Path());
        FAIL() << "read a folder";
    } catch (const EScreenSet &error) {
        EXPECT_NE(std::string(error.what()).find(folder.Path().string()), std::string::npos);
    }
}

} // namespace
