// velkctl end to end: the screen set upload, the settings dump and the
// progress bar.
#include "CtlTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

bool Has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

std::string Sample(const char *name) {
    return std::string(VELK_SAMPLES_DIR) + "/" + name;
}

// The items of record "pictures" as "name:size", in the record's order.
std::vector<std::string> PictureItems(const TSimProcess &sim) {
    const TRunResult result = sim.Ctl({"records", "--json"});
    EXPECT_EQ(result.Exit, 0) << result.Err;
    std::vector<std::string> items;
    const nlohmann::json directory = nlohmann::json::parse(result.Out);
    for (const auto &slot : directory["slots"])
        if (slot["name"] == "pictures")
            for (const auto &item : slot["items"])
                items.push_back(item["name"].get<std::string>() + ":" + std::to_string(item["size"].get<int>()));
    return items;
}

std::string SizeOf(const std::string &file) {
    return std::to_string(std::filesystem::file_size(file));
}

TEST(CtlScreensTest, UploadOfTheSampleSetLeavesExactlyItsItems) {
    TSimProcess sim;
    const TRunResult result =
        sim.Ctl({"upload-screens", "--boot", Sample("boot.m2v"), "--radio", Sample("radio.m2v"), "--setup",
                 Sample("setup.m2v"), "--setup-lut", Sample("setup.lut"), "--bandeau", Sample("bandeau.pan"),
                 "--basic-lut", Sample("basic.lut"), "--size", "300,0x20,720,576"});
    ASSERT_EQ(result.Exit, 0) << result.Err;
    for (int step = 0; step <= 8; ++step)
        EXPECT_TRUE(Has(result.Out, "[" + std::to_string(step) + "/8] ")) << result.Out;
    EXPECT_TRUE(Has(result.Out, "[7/8] saved bandeau.pan (2048 bytes)\n")) << result.Out;

    EXPECT_EQ(PictureItems(sim), (std::vector<std::string>{
                                     "ini:64",
                                     "splash.fnt:" + SizeOf(Sample("boot.m2v")),
                                     "radio.fnt:" + SizeOf(Sample("radio.m2v")),
                                     "setup.fnt:" + SizeOf(Sample("setup.m2v")),
                                     "setup.lut:64",
                                     "bandeau.pan:" + SizeOf(Sample("bandeau.pan")),
                                     "basic.lut:64",
                                 }));
    const auto ini = (sim.Folder().Path() / "ini.bin").string();
    ASSERT_EQ(sim.Ctl({"get", "pictures", "ini", "-o", ini}).Exit, 0);
    std::vector<uint8_t> expected(64, 0);
    const std::vector<uint8_t> head = {1, 1, 1, 1, 1, 1, 0xFF, 0x01, 0x2C, 0x00, 0x20, 0x02, 0xD0, 0x02, 0x40};
    std::copy(head.begin(), head.end(), expected.begin());
    EXPECT_EQ(TempFolder::Read(ini), expected);
    const auto splash = (sim.Folder().Path() / "splash.bin").string();
    ASSERT_EQ(sim.Ctl({"get", "pictures", "splash.fnt", "-o", splash}).Exit, 0);
    EXPECT_EQ(TempFolder::Read(splash), TempFolder::Read(Sample("boot.m2v")));
}

TEST(CtlScreensTest, UploadOfTheSettingsItemAloneIsAskedForExplicitly) {
    TSimProcess sim;
    const TRunResult result = sim.Ctl({"upload-screens", "--settings-only"});
    ASSERT_EQ(result.Exit, 0) << result.Err;
    EXPECT_EQ(PictureItems(sim), std::vector<std::string>{"ini:64"});
    const auto ini = (sim.Folder().Path() / "ini.bin").string();
    ASSERT_EQ(sim.Ctl({"get", "pictures", "ini", "-o", ini}).Exit, 0);
    EXPECT_EQ(TempFolder::Read(ini), std::vector<uint8_t>(64, 0));
}

TEST(CtlScreensTest, FailedItemsAreReportedAndTheOthersStillSent) {
    TSimProcess sim({"--refuse-writes", "1"});
    const TRunResult result = sim.Ctl({"upload-screens", "--boot", Sample("boot.m2v")});
    EXPECT_EQ(result.Exit, 1);
    EXPECT_TRUE(Has(result.Out, "[2/8] FAILED ini (64 bytes)\n")) << result.Out;
    EXPECT_TRUE(Has(result.Out, "[3/8] FAILED splash.fnt (")) << result.Out;
    EXPECT_TRUE(
        Has(result.Err, "velkctl: Errore scrivendo il record all'indirizzo: 0x34030000. - Scrittura fallita.\n"))
        << result.Err;
    EXPECT_TRUE(Has(result.Err, "velkctl: Upload incomplete: 2 of 2 items failed (ini, splash.fnt)\n")) << result.Err;
}

TEST(CtlScreensTest, SizeLimitIsCheckedBeforeAnythingIsSent) {
    TSimProcess sim;
    const auto big = sim.Folder().Write("big.m2v", Pattern(40000));
    const auto rest = sim.Folder().Write("rest.pan", Pattern(24000));
    const auto more = sim.Folder().Write("more.lut", Pattern(1));
    const std::vector<uint8_t> flash = sim.Flash();

    const TRunResult refused =
        sim.Ctl({"upload-screens", "--boot", big.string(), "--bandeau", rest.string(), "--basic-lut", more.string()});
    EXPECT_EQ(refused.Exit, 2);
    EXPECT_TRUE(Has(refused.Err, "Size exceed limit of 64k: the files hold 64001 bytes")) << refused.Err;
    EXPECT_EQ(sim.Flash(), flash);

    const TRunResult accepted =
        sim.Ctl({"--quiet", "upload-screens", "--boot", big.string(), "--bandeau", rest.string()});
    EXPECT_EQ(accepted.Exit, 0) << accepted.Err;
    EXPECT_EQ(accepted.Out, "");
    EXPECT_EQ(PictureItems(sim), (std::vector<std::string>{"ini:64", "splash.fnt:40000", "bandeau.pan:24000"}));
}

TEST(CtlScreensTest, EmptyFileIsSentAsAnEmptyItem) {
    TSimProcess sim;
    const auto empty = sim.Folder().Write("empty.lut", {});
    ASSERT_EQ(sim.Ctl({"upload-screens", "--setup-lut", empty.string()}).Exit, 0);
    EXPECT_EQ(PictureItems(sim), (std::vector<std::string>{"ini:64", "setup.lut:0"}));
}

TEST(CtlScreensTest, SettingsDumpWritesExactlyTheItem) {
    TSimProcess sim;
    // An older, longer dump is cut to the item's length.
    const auto file = sim.Folder().Write("set.bin", Pattern(500));
    const TRunResult result = sim.Ctl({"dump-settings", "-o", file.string()});
    ASSERT_EQ(result.Exit, 0) << result.Err;
    EXPECT_EQ(TempFolder::Read(file), velksim::DemoSettings());

    const TRunResult toStdout = sim.Ctl({"dump-settings", "-o", "-"});
    ASSERT_EQ(toStdout.Exit, 0) << toStdout.Err;
    EXPECT_EQ(std::vector<uint8_t>(toStdout.Out.begin(), toStdout.Out.end()), velksim::DemoSettings());
    EXPECT_TRUE(Has(toStdout.Err, "bytes of settings into -")) << "the status line goes to standard error";

    ASSERT_EQ(sim.Ctl({"rm", "SET", "SET"}).Exit, 0);
    const auto other = sim.Folder().Path() / "other.bin";
    const TRunResult missing = sim.Ctl({"dump-settings", "-o", other.string()});
    EXPECT_EQ(missing.Exit, 1);
    EXPECT_EQ(missing.Err, "velkctl: Record SET does not exist\n");
    EXPECT_FALSE(std::filesystem::exists(other));
}

TEST(CtlScreensTest, ProgressBarOnlyWhenStandardErrorIsATerminal) {
    // At the speed of a real cable a 20 KB write takes about two seconds.
    TSimProcess sim({"--baud", "115200"});
    const auto file = sim.Folder().Write("data.bin", Pattern(20000));
    const std::vector<std::string> write = {"write", "flash", "0x34050000", file.string()};

    const TRunResult terminal = sim.Ctl(write, ErrorOnTerminal());
    EXPECT_EQ(terminal.Exit, 0) << terminal.Err;
    EXPECT_TRUE(Has(terminal.Err, "write 0x34050000")) << terminal.Err;
    EXPECT_TRUE(Has(terminal.Err, "%")) << terminal.Err;
    EXPECT_TRUE(Has(terminal.Err, "KiB/s")) << terminal.Err;

    const TRunResult pipe = sim.Ctl(write);
    EXPECT_EQ(pipe.Exit, 0) << pipe.Err;
    EXPECT_EQ(pipe.Err, "");

    const TRunResult off = sim.Ctl({"--no-progress", "write", "flash", "0x34050000", file.string()}, ErrorOnTerminal());
    EXPECT_EQ(off.Exit, 0);
    EXPECT_FALSE(Has(off.Err, "%")) << off.Err;
}

} // namespace
