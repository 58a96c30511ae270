// "save" end to end: the settings record "SET" copied into "set.bin" in the
// program's folder.
#include "SimUploader.h"

#include "LibraryScope.h"
#include "velksimdemo.h"

#include <QComboBox>

namespace {

class DumpTest : public SimUploaderTest {
protected:
    std::filesystem::path SetBin() const { return folder.Path() / "set.bin"; }
};

TEST_F(DumpTest, WritesExactlyTheLastReadOfTheLoadIntoSetBin) {
    // A longer file from before is cut to the new length.
    folder.Write("set.bin", std::vector<uint8_t>(100000, 0xEE));
    // The port chosen in the list is used: here the simulator's line, not COM1.
    ASSERT_NE(form->Combo1->currentText(), QStringLiteral("COM1"));
    ClickSave();
    EXPECT_TRUE(prompts.Messages.empty());

    const velksim::TSimCounters traffic = Traffic();
    EXPECT_EQ(traffic.lineOpens, 1);
    EXPECT_EQ(traffic.writeFlashRequests, 0);
    ASSERT_FALSE(traffic.flashReads.empty());
    const velksim::TSimRange last = traffic.flashReads.back();
    const std::vector<uint8_t> written = ReadBytes(SetBin());
    EXPECT_EQ(written, sim.ReadFlash(last.address, last.length));
    // That read is the settings record's body, which holds the item.
    const std::vector<uint8_t> settings = velksim::DemoSettings();
    EXPECT_NE(std::search(written.begin(), written.end(), settings.begin(), settings.end()), written.end());
    EXPECT_FALSE(TLibraryScope::Open());
}

TEST_F(DumpTest, WithoutTheSettingsRecordNoFileIsWritten) {
    sim.EraseFlash();
    ClickSave();
    EXPECT_EQ(prompts.Texts(), std::vector<QString>{QStringLiteral("Record SET does not exist")});
    EXPECT_FALSE(std::filesystem::exists(SetBin()));
}

TEST_F(DumpTest, AFailedDirectoryReadEndsTheDumpAfterTheLibrarysError) {
    velksim::TSimFaults faults;
    faults.refuseReads = 1;
    sim.SetFaults(faults);
    folder.Write("set.bin", {9, 9, 9});
    ClickSave();
    // The library's own box, and nothing read from a directory never read.
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(ReadBytes(SetBin()), (std::vector<uint8_t>{9, 9, 9}));
}

TEST_F(DumpTest, AFailedLoadSaysErrorLoadingSettings) {
    // Two items "SET": the record is found, the load refuses it.
    sim.WriteSlot(0, velksim::RecordSlotImage("SET", {{"SET", {1, 2}}, {"SET", {3, 4}}}));
    folder.Write("set.bin", {9, 9, 9});
    ClickSave();
    ASSERT_EQ(prompts.Messages.size(), 2u);
    EXPECT_EQ(prompts.Messages[0].Caption, QStringLiteral("Error")); // the library's own
    EXPECT_EQ(prompts.Messages[1].Text, QStringLiteral("Error loading settings"));
    EXPECT_EQ(ReadBytes(SetBin()), (std::vector<uint8_t>{9, 9, 9}));
}

TEST_F(DumpTest, AnUnwritableFileIsReported) {
    std::filesystem::create_directory(SetBin()); // a folder where the file should be
    ClickSave();
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_TRUE(prompts.Messages[0].Text.contains(QStringLiteral("set.bin"))) << prompts.Messages[0].Text.toStdString();
    EXPECT_FALSE(TLibraryScope::Open());
}

} // namespace
