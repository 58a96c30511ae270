#include "screenerror.h"
#include "screenresources.h"
#include "screensettings.h"

#include <gtest/gtest.h>

namespace {

TResourceChecks Only(std::initializer_list<std::size_t> rows) {
    TResourceChecks checks{};
    for (auto row : rows)
        checks[row] = true;
    return checks;
}

std::string Refusal(auto &&call) {
    try {
        call();
    } catch (const EScreenSet &error) {
        return error.what();
    }
    return "(accepted)";
}

TEST(SettingsItemTest, NothingCheckedIsAllZero) {
    const TSettingsItem item = BuildSettingsItem({}, {});
    EXPECT_EQ(item, TSettingsItem{});
}

TEST(SettingsItemTest, CheckBoxOffsetsFollowTheDecodersOrder) {
    // boot, setup, radio at 0, 1, 2; "setup lut" fills 3, 4 and 5.
    EXPECT_EQ(BuildSettingsItem(Only({0}), {})[0], 1);
    EXPECT_EQ(BuildSettingsItem(Only({2}), {})[1], 1);
    EXPECT_EQ(BuildSettingsItem(Only({1}), {})[2], 1);
    const TSettingsItem lut = BuildSettingsItem(Only({3}), {});
    EXPECT_EQ((std::vector<uint8_t>(lut.begin(), lut.begin() + 7)), (std::vector<uint8_t>{0, 0, 0, 1, 1, 1, 0}));
    // "bandeau" and "basic lut" have no byte of their own.
    EXPECT_EQ(BuildSettingsItem(Only({4, 5}), {}), TSettingsItem{});
    const TSettingsItem all = BuildSettingsItem(Only({0, 1, 2, 3, 4, 5}), {});
    for (std::size_t offset = 0; offset < 6; ++offset)
        EXPECT_EQ(all[offset], 1) << offset;
    EXPECT_EQ(all[6], 0);
}

TEST(SettingsItemTest, SizeValuesAreSentOnlyWhenModified) {
    TSizeSettings size{false, {300, -5, 99999, 7}};
    const TSettingsItem unset = BuildSettingsItem({}, size);
    EXPECT_EQ(unset, TSettingsItem{}) << "values ignored, even out of range, when not modified";

    size = {true, {300, 0x1234, 0, 32767}};
    const TSettingsItem set = BuildSettingsItem(Only({0}), size);
    const std::vector<uint8_t> expected = {1, 0, 0, 0, 0, 0, 0xFF, 0x01, 0x2C, 0x12, 0x34, 0, 0, 0x7F, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(set.begin(), set.begin() + 15), expected);
    for (std::size_t offset = 15; offset < SettingsItemSize; ++offset)
        EXPECT_EQ(set[offset], 0) << offset;

    // Modified with all values 0 still marks offset 6.
    EXPECT_EQ(BuildSettingsItem({}, {true, {}})[6], 0xFF);
}

TEST(SettingsItemTest, SizeValuesOutsideTheFieldAreRefusedByName) {
    EXPECT_EQ(Refusal([] {
                  BuildSettingsItem({}, {true, {0, -1, 0, 0}});
              }),
              "Orig Y must be a whole number from 0 to 32767, not -1");
    EXPECT_EQ(Refusal([] {
                  BuildSettingsItem({}, {true, {0, 0, 0, 32768}});
              }),
              "Height must be a whole number from 0 to 32767, not 32768");
    EXPECT_EQ(Refusal([] {
                  BuildSettingsItem({}, {true, {-32768, 0, 0, 0}});
              }),
              "Orig X must be a whole number from 0 to 32767, not -32768");
}

TEST(SizeValueTest, ParsesDecimalAndHexadecimal) {
    EXPECT_EQ(ParseSizeValue("300", "Width"), 300);
    EXPECT_EQ(ParseSizeValue(" 0x12C ", "Width"), 300);
    EXPECT_EQ(ParseSizeValue("0", "Width"), 0);
    EXPECT_EQ(ParseSizeValue("32767", "Width"), 32767);
    EXPECT_EQ(ParseSizeList("1,2,0x10,400"), (TSizeValues{1, 2, 16, 400}));
}

TEST(SizeValueTest, RefusesAnythingElseWithTheValueNamed) {
    for (const char *text : {"-1", "32768", "", "  ", "abc", "12abc", "0x", "1.5", "99999999999999999999"}) {
        const std::string message = Refusal([&] { ParseSizeValue(text, "Width"); });
        EXPECT_EQ(message.rfind("Width must be a whole number from 0 to 32767, not ", 0), 0u)
            << text << ": " << message;
    }
    EXPECT_NE(Refusal([] { ParseSizeList("1,2,3"); }).find("four values"), std::string::npos);
    EXPECT_NE(Refusal([] { ParseSizeList("1,2,3,4,5"); }).find("four values"), std::string::npos);
    EXPECT_EQ(Refusal([] { ParseSizeList("1,,3,4"); }), "Orig Y must be a whole number from 0 to 32767, not empty");
}

TEST(ResourceTableTest, EveryFilterSplitsIntoItsDescriptionAndPatterns) {
    for (TDialogKind kind : {TDialogKind::Picture, TDialogKind::Palette, TDialogKind::Panel}) {
        const TDialogInfo &dialog = DialogInfo(kind);
        EXPECT_EQ(std::string(dialog.Filter), std::string(dialog.Description) + "|" + std::string(dialog.Patterns));
    }
    EXPECT_EQ(ScreenResource(4).ItemName, "bandeau.pan");
    EXPECT_EQ(ScreenResource(4).Editor, TEditorKind::Size);
    EXPECT_THROW(ScreenResource(ResourceCount), EScreenSet);
}

} // namespace
