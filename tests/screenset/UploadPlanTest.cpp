#include "TempFolder.h"
#include "screenupload.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class UploadPlanTest : public ::testing::Test {
protected:
    TempFolder folder;
    TScreenSelection selection;

    void Choose(std::size_t row, const std::filesystem::path &path) {
        selection.Rows[row].Checked = true;
        selection.Rows[row].Path = path;
    }
    std::string Refusal() {
        try {
            MakeUploadPlan(selection);
        } catch (const EScreenSet &error) {
            return error.what();
        }
        return "(accepted)";
    }
};

TEST_F(UploadPlanTest, SettingsItemFirstThenCheckedRowsInOrder) {
    Choose(5, folder.Write("basic.lut", Pattern(64, 5)));
    Choose(1, folder.Write("radio.m2v", Pattern(1000, 1)));
    selection.Rows[2].Path = folder.Path() / "unchecked-and-missing.m2v";

    const TUploadPlan plan = MakeUploadPlan(selection);
    ASSERT_EQ(plan.Items.size(), 3u);
    EXPECT_EQ(plan.Items[0].ItemName, "ini");
    EXPECT_EQ(plan.Items[0].Progress, 2);
    EXPECT_EQ(plan.Items[0].Data.size(), 64u);
    EXPECT_EQ(plan.Items[0].Data[2], 1) << "radio's check box byte";
    EXPECT_EQ(plan.Items[1].ItemName, "radio.fnt");
    EXPECT_EQ(plan.Items[1].Progress, 4);
    EXPECT_EQ(plan.Items[1].Data, Pattern(1000, 1));
    EXPECT_EQ(plan.Items[2].ItemName, "basic.lut");
    EXPECT_EQ(plan.Items[2].Progress, 8);
    EXPECT_EQ(plan.Items[2].Data, Pattern(64, 5));
    EXPECT_EQ(plan.ResourceBytes, 1064);
}

TEST_F(UploadPlanTest, NothingCheckedStillSendsTheSettingsItem) {
    const TUploadPlan plan = MakeUploadPlan(selection);
    ASSERT_EQ(plan.Items.size(), 1u);
    EXPECT_EQ(plan.Items[0].Data, std::vector<uint8_t>(64, 0));
}

TEST_F(UploadPlanTest, TotalOf64000IsAcceptedAnd64001Refused) {
    Choose(0, folder.Write("a.m2v", Pattern(40000)));
    Choose(3, folder.Write("b.lut", Pattern(24000)));
    EXPECT_EQ(MakeUploadPlan(selection).ResourceBytes, 64000);

    Choose(4, folder.Write("c.pan", Pattern(1)));
    try {
        MakeUploadPlan(selection);
        FAIL() << "64001 bytes accepted";
    } catch (const ESizeExceeded &error) {
        EXPECT_STREQ(error.what(), "Size exceed limit of 64k");
        EXPECT_EQ(error.Total(), 64001);
    }
    // The settings item does not count: unchecking the extra byte is enough.
    selection.Rows[4].Checked = false;
    EXPECT_NO_THROW(MakeUploadPlan(selection));
}

TEST_F(UploadPlanTest, EmptyFileIsSentAsAnEmptyItem) {
    Choose(4, folder.Write("empty.pan", {}));
    const TUploadPlan plan = MakeUploadPlan(selection);
    ASSERT_EQ(plan.Items.size(), 2u);
    EXPECT_EQ(plan.Items[1].ItemName, "bandeau.pan");
    EXPECT_TRUE(plan.Items[1].Data.empty());
}

TEST_F(UploadPlanTest, UnusableRowsAreRefusedByName) {
    const auto fifo = folder.Path() / "pipe.m2v";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::filesystem::path Path;
        std::string Says;
    } cases[] = {
        {"", "Cannot upload \"setup\": no file is chosen for it."},
        {folder.Path() / "missing.m2v",
         "the file \"" + (folder.Path() / "missing.m2v").string() + "\" cannot be read ("},
        {folder.Path(), "the file \"" + folder.Path().string() + "\" cannot be read (it is a folder)."},
        // Devices and pipes could hold no end: the plan reads files whole.
        {"/dev/zero", "Cannot upload \"setup\": the file \"/dev/zero\" is not a regular file."},
        {fifo, "the file \"" + fifo.string() + "\" is not a regular file."},
    };
    for (const auto &c : cases) {
        Choose(2, c.Path);
        EXPECT_NE(Refusal().find(c.Says), std::string::npos) << c.Path << ": " << Refusal();
    }
    if (geteuid() != 0) { // root reads any file
        const auto locked = folder.Write("locked.m2v", Pattern(10));
        chmod(locked.c_str(), 0);
        Choose(2, locked);
        EXPECT_NE(Refusal().find("locked.m2v\" cannot be read ("), std::string::npos) << Refusal();
    }
}

TEST_F(UploadPlanTest, SizeValuesAreCheckedBeforeAnythingIsSent) {
    selection.Size = {true, {0, 0, 40000, 0}};
    EXPECT_EQ(Refusal(), "Width must be a whole number from 0 to 32767, not 40000");
    selection.Size.Modified = false;
    EXPECT_NO_THROW(MakeUploadPlan(selection));
}

// Records what an upload asks of the decoder.
class RecordingTarget : public TUploadTarget {
public:
    bool RefreshWorks = true;
    std::string FailingItem;
    std::vector<std::string> Calls;
    std::vector<int> Steps;

    bool Refresh() override {
        Calls.push_back("refresh");
        return RefreshWorks;
    }
    bool SaveItem(std::string_view record, std::string_view item, std::span<const uint8_t> data) override {
        Calls.push_back(std::string(record) + "/" + std::string(item) + ":" + std::to_string(data.size()));
        return item != FailingItem;
    }
    bool SaveItems(std::string_view record, std::span<const TUploadItem> items) override {
        std::string call = std::string(record) + "/";
        bool failing = false;
        for (const TUploadItem &item : items) {
            call += (&item == items.data() ? "" : "+") + item.ItemName + ":" + std::to_string(item.Data.size());
            failing = failing || item.ItemName == FailingItem;
        }
        Calls.push_back(call);
        return !failing;
    }
    void ItemDone(const TUploadItem &item, bool saved) override {
        Calls.push_back((saved ? "done " : "failed ") + item.ItemName);
    }
    void Progress(int step) override { Steps.push_back(step); }
};

TEST_F(UploadPlanTest, RunWritesEachItemOrTheRecordOnceAsAsked) {
    Choose(0, folder.Write("boot.m2v", Pattern(10)));
    Choose(4, folder.Write("panel.pan", Pattern(20)));
    using Calls = std::vector<std::string>;
    const struct {
        TUploadWrite Write;
        std::string Failing;
        Calls Expected;
    } cases[] = {
        {TUploadWrite::PerItem,
         "",
         {"refresh", "pictures/ini:64", "done ini", "pictures/splash.fnt:10", "done splash.fnt",
          "pictures/bandeau.pan:20", "done bandeau.pan"}},
        // A failed item does not stop the others.
        {TUploadWrite::PerItem,
         "splash.fnt",
         {"refresh", "pictures/ini:64", "done ini", "pictures/splash.fnt:10", "failed splash.fnt",
          "pictures/bandeau.pan:20", "done bandeau.pan"}},
        {TUploadWrite::OneWrite,
         "",
         {"refresh", "pictures/ini:64+splash.fnt:10+bandeau.pan:20", "done ini", "done splash.fnt",
          "done bandeau.pan"}},
        // One write fails whole.
        {TUploadWrite::OneWrite,
         "bandeau.pan",
         {"refresh", "pictures/ini:64+splash.fnt:10+bandeau.pan:20", "failed ini", "failed splash.fnt",
          "failed bandeau.pan"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Failing);
        RecordingTarget target;
        target.FailingItem = c.Failing;
        const TUploadResult result = RunUpload(MakeUploadPlan(selection), target, c.Write);
        EXPECT_EQ(target.Calls, c.Expected);
        EXPECT_EQ(target.Steps, (std::vector<int>{0, 1, 2, 3, 7}));
        EXPECT_EQ(result.Ok(), c.Failing.empty());
        EXPECT_EQ(result.Saved.size() + result.Failed.size(), 3u);
    }
}

TEST_F(UploadPlanTest, FailedRefreshWritesNothing) {
    Choose(0, folder.Write("boot.m2v", Pattern(10)));
    for (const TUploadWrite write : {TUploadWrite::PerItem, TUploadWrite::OneWrite}) {
        RecordingTarget target;
        target.RefreshWorks = false;
        const TUploadResult result = RunUpload(MakeUploadPlan(selection), target, write);
        EXPECT_FALSE(result.Ok());
        EXPECT_FALSE(result.Refreshed);
        EXPECT_EQ(target.Calls, std::vector<std::string>{"refresh"});
        EXPECT_EQ(target.Steps, std::vector<int>{0});
    }
}

} // namespace
