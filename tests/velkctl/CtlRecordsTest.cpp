// velkctl end to end: the record directory, items, backup and restore.
#include "CtlTestSupport.h"

#include <csignal>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

bool Has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

nlohmann::json Directory(const TSimProcess &sim) {
    const TRunResult result = sim.Ctl({"records", "--json"});
    EXPECT_EQ(result.Exit, 0) << result.Err;
    return nlohmann::json::parse(result.Out);
}

// The items of the record in a slot, as "name:size".
std::vector<std::string> Items(const nlohmann::json &directory, int slot) {
    std::vector<std::string> items;
    for (const auto &item : directory["slots"][slot]["items"])
        items.push_back(item["name"].get<std::string>() + ":" + std::to_string(item["size"].get<int>()));
    return items;
}

TEST(CtlRecordsTest, DirectoryListsEverySlot) {
    TSimProcess sim;
    const nlohmann::json directory = Directory(sim);
    ASSERT_EQ(directory["slots"].size(), 30u);
    EXPECT_EQ(directory["base"], "0x34020000");
    const auto &slot0 = directory["slots"][0];
    EXPECT_EQ(slot0["address"], "0x34020000");
    // One shape for every slot: a free slot has the same keys, null where it has no value.
    for (const auto &slot : directory["slots"]) {
        std::vector<std::string> keys;
        for (const auto &[key, value] : slot.items())
            keys.push_back(key);
        EXPECT_EQ(keys, (std::vector<std::string>{"address", "admitted", "free", "items", "name", "slot", "slot_flag",
                                                  "status", "valid"}));
    }
    EXPECT_EQ(directory["slots"][29]["address"], "0x341F0000");
    EXPECT_TRUE(directory["slots"][1]["name"].is_null());
    EXPECT_EQ(directory["slots"][1]["slot_flag"], true);
    EXPECT_EQ(directory["slots"][29]["slot_flag"], false);
    EXPECT_EQ(slot0["status"], "in use");
    EXPECT_EQ(slot0["name"], "SET");
    EXPECT_EQ(slot0["admitted"], true);
    EXPECT_EQ(slot0["valid"], true);
    EXPECT_EQ(Items(directory, 0), std::vector<std::string>{"SET:" + std::to_string(velksim::DemoSettings().size())});
    EXPECT_EQ(slot0["free"], 65460 - (4 + 20 + int(velksim::DemoSettings().size())));
    EXPECT_EQ(directory["slots"][1]["status"], "free");
    EXPECT_EQ(directory["free_slots"], 29);
    EXPECT_EQ(directory["usable_free_slots"], 28);

    const TRunResult text = sim.Ctl({"records", "--full"});
    EXPECT_EQ(text.Exit, 0) << text.Err;
    EXPECT_TRUE(Has(text.Out, "   0  0x34020000  SET       yes")) << text.Out;
    EXPECT_TRUE(Has(text.Out, "free slots: 28 usable of 29 free; slot 29 is reserved\n")) << text.Out;

    // The backup's description writes addresses the same way.
    const auto backup = sim.Folder().Path() / "backup";
    ASSERT_EQ(sim.Ctl({"backup", backup.string()}).Exit, 0);
    const auto raw = TempFolder::Read(backup / "backup.json");
    EXPECT_EQ(nlohmann::json::parse(raw.begin(), raw.end())["flash"]["address"], "0x34020000");
}

// Only 28 of the demo decoder's 29 free slots are admitted by its slot table:
// the 29th new record is saved but would not be found after a refresh.
TEST(CtlRecordsTest, SaveIntoASlotTheSlotTableDoesNotAdmitFails) {
    TSimProcess sim;
    const auto item = sim.Folder().Write("item.bin", Pattern(8, 1));
    for (int i = 1; i <= 28; ++i)
        ASSERT_EQ(sim.Ctl({"put", "r" + std::to_string(i), "x", item.string()}).Exit, 0) << i;
    EXPECT_TRUE(Has(sim.Ctl({"records"}).Out, "free slots: 0 usable of 1 free; slot 29 is reserved"));
    const TRunResult last = sim.Ctl({"put", "last", "x", item.string()});
    EXPECT_EQ(last.Exit, 1);
    EXPECT_EQ(last.Err, "velkctl: saved in slot 29, which the decoder's slot table does not admit: it will not be "
                        "found after the next refresh\n");
    EXPECT_EQ(sim.Ctl({"get", "last", "x"}).Err, "velkctl: Record non trovato: last.\n");
}

TEST(CtlRecordsTest, PutOfSeveralItemsWritesTheRecordOnce) {
    TSimProcess sim;
    const auto one = sim.Folder().Write("one.bin", Pattern(1000, 1));
    const auto two = sim.Folder().Write("two.bin", Pattern(20, 2));
    const TRunResult put = sim.Ctl({"put", "demo", "one", one.string(), "two", two.string(), "one", two.string()});
    ASSERT_EQ(put.Exit, 0) << put.Err;
    EXPECT_EQ(Items(Directory(sim), 1), (std::vector<std::string>{"two:20", "one:20"}));
    // Data on standard output, status lines on standard error.
    const TRunResult get = sim.Ctl({"get", "demo", "two", "-o", "-"});
    EXPECT_EQ(get.Exit, 0) << get.Err;
    EXPECT_EQ(std::vector<uint8_t>(get.Out.begin(), get.Out.end()), Pattern(20, 2));
    EXPECT_TRUE(Has(get.Err, "Loaded item two of record demo (20 bytes) into -")) << get.Err;
}

TEST(CtlRecordsTest, PutGetAndRemoveItems) {
    TSimProcess sim;
    const auto one = sim.Folder().Write("one.bin", Pattern(1000, 1));
    const auto two = sim.Folder().Write("two.bin", Pattern(20, 2));
    ASSERT_EQ(sim.Ctl({"put", "demo", "one", one.string()}).Exit, 0);
    ASSERT_EQ(sim.Ctl({"put", "demo", "two", two.string()}).Exit, 0);
    EXPECT_EQ(Items(Directory(sim), 1), (std::vector<std::string>{"one:1000", "two:20"}));

    const auto back = (sim.Folder().Path() / "back.bin").string();
    const TRunResult get = sim.Ctl({"get", "demo", "one", "-o", back});
    EXPECT_EQ(get.Exit, 0) << get.Err;
    EXPECT_EQ(TempFolder::Read(back), Pattern(1000, 1));
    EXPECT_TRUE(Has(sim.Ctl({"get", "demo", "two"}).Out, "00000000  02 03 04")) << "hex dump without -o";

    // Removing the first item keeps the second one's bytes.
    const TRunResult rm = sim.Ctl({"rm", "demo", "one"});
    EXPECT_EQ(rm.Exit, 0) << rm.Err;
    EXPECT_EQ(Items(Directory(sim), 1), std::vector<std::string>{"two:20"});
    EXPECT_EQ(sim.Ctl({"get", "demo", "two", "-o", back}).Exit, 0);
    EXPECT_EQ(TempFolder::Read(back), Pattern(20, 2));

    // "-" stands for standard input and output; every byte value passes
    // unchanged, line ends included.
    TRunOptions fromFile;
    fromFile.InputFile = sim.Folder().Write("all.bin", Pattern(256, 0)).string();
    const TRunResult putStdin = sim.Ctl({"put", "demo", "all", "-"}, fromFile);
    EXPECT_EQ(putStdin.Exit, 0) << putStdin.Err;
    const TRunResult getStdout = sim.Ctl({"get", "demo", "all", "-o", "-"});
    EXPECT_EQ(getStdout.Exit, 0) << getStdout.Err;
    EXPECT_EQ(std::vector<uint8_t>(getStdout.Out.begin(), getStdout.Out.end()), Pattern(256, 0));
    // A file behind standard output is the caller's: appended to, never emptied.
    TRunOptions appending;
    appending.AppendOutputTo = sim.Folder().Write("log.bin", Pattern(10, 5)).string();
    const TRunResult getAppended = sim.Ctl({"get", "demo", "all", "-o", "-"}, appending);
    EXPECT_EQ(getAppended.Exit, 0) << getAppended.Err;
    std::vector<uint8_t> expected = Pattern(10, 5);
    const std::vector<uint8_t> item = Pattern(256, 0);
    expected.insert(expected.end(), item.begin(), item.end());
    EXPECT_EQ(TempFolder::Read(appending.AppendOutputTo), expected);

    const TRunResult missingItem = sim.Ctl({"rm", "demo", "one"});
    EXPECT_EQ(missingItem.Exit, 1);
    EXPECT_EQ(missingItem.Err, "velkctl: File non trovato: one.\n");
    const TRunResult missingRecord = sim.Ctl({"get", "nothing", "one"});
    EXPECT_EQ(missingRecord.Exit, 1);
    EXPECT_EQ(missingRecord.Err, "velkctl: Record non trovato: nothing.\n");
}

TEST(CtlRecordsTest, BackupThenRestoreBringsBackEverything) {
    TSimProcess sim;
    const auto item = sim.Folder().Write("item.bin", Pattern(500, 9));
    ASSERT_EQ(sim.Ctl({"put", "keep", "a", item.string()}).Exit, 0);
    const std::vector<uint8_t> flash = sim.Flash();
    const std::vector<uint8_t> eeprom = sim.Eeprom();

    const auto backup = (sim.Folder().Path() / "backup").string();
    const TRunResult saved = sim.Ctl({"backup", backup});
    ASSERT_EQ(saved.Exit, 0) << saved.Err;
    EXPECT_TRUE(Has(saved.Out, "slot 1 (0x34030000): record \"keep\" (1 item)")) << saved.Out;
    EXPECT_EQ(TempFolder::Read(backup + "/flash.bin"), flash);
    EXPECT_EQ(TempFolder::Read(backup + "/eeprom.bin"), eeprom);

    // Change two slots and the EEPROM behind the backup's back.
    ASSERT_EQ(sim.Ctl({"rm", "keep", "a"}).Exit, 0);
    ASSERT_EQ(sim.Ctl({"put", "extra", "b", item.string()}).Exit, 0);
    const auto word = sim.Folder().Write("word.bin", {0, 0, 0, 0});
    ASSERT_EQ(sim.Ctl({"write", "eeprom", "0x108E", word.string()}).Exit, 0);
    const std::vector<uint8_t> changed = sim.Flash();

    const TRunResult check = sim.Ctl({"restore", backup});
    EXPECT_EQ(check.Exit, 0) << check.Err;
    EXPECT_TRUE(Has(check.Out, "slot 1 (0x34030000): record \"keep\" (0 items) -> record \"keep\" (1 item)"))
        << check.Out;
    EXPECT_TRUE(Has(check.Out, "slot 2 (0x34040000): record \"extra\" (1 item) -> free")) << check.Out;
    EXPECT_TRUE(Has(check.Out, "EEPROM: changes")) << check.Out;
    EXPECT_TRUE(Has(check.Out, "--yes")) << check.Out;
    EXPECT_EQ(sim.Flash(), changed) << "nothing written without --yes";

    const TRunResult restored = sim.Ctl({"restore", backup, "--yes"});
    EXPECT_EQ(restored.Exit, 0) << restored.Err;
    EXPECT_TRUE(Has(restored.Out, "Restored 2 record slots and the EEPROM")) << restored.Out;
    EXPECT_EQ(sim.Flash(), flash);
    EXPECT_EQ(sim.Eeprom(), eeprom);
    EXPECT_TRUE(Has(sim.Ctl({"restore", backup}).Out, "nothing to write"));
}

// A restore cut off part-way says which slots it restored and which not; the
// same restore run again finishes it. So does one stopped by Ctrl-C.
TEST(CtlRecordsTest, RestoreCutOffSaysHowFarItGotAndASecondRunFinishes) {
    TSimProcess first;
    const auto backup = (first.Folder().Path() / "backup").string();
    ASSERT_EQ(first.Ctl({"backup", backup}).Exit, 0);
    const std::vector<uint8_t> flash = first.Flash();
    const auto item = first.Folder().Write("item.bin", Pattern(30000, 4));
    for (const char *name : {"one", "two", "three"})
        ASSERT_EQ(first.Ctl({"put", name, "x", item.string()}).Exit, 0) << name;

    // The whole record area and the EEPROM are read first (about 2 000 000
    // bytes on the line), then each slot is written and read back (about
    // 132 000 bytes each): the line goes in the second slot's write.
    TSimProcess cut({"--hang-up-after", "2200000"}, first.StateFolder());
    const TRunResult stopped = cut.Ctl({"restore", backup, "--yes"});
    EXPECT_EQ(stopped.Exit, 1) << stopped.Err;
    EXPECT_TRUE(Has(stopped.Err, "the line went away")) << stopped.Err;
    EXPECT_TRUE(Has(stopped.Err, "velkctl: restored 1 of 3 slots (slot 1); not yet: slots 2, 3; the EEPROM: nothing "
                                 "to write; run the same restore again to finish\n"))
        << stopped.Err;

    TSimProcess again({}, cut.StateFolder());
    TRunOptions interrupt;
    interrupt.InterruptWhen = [](const std::string &out, const std::string &) { return Has(out, "slot 3 "); };
    const TRunResult interrupted = again.Ctl({"restore", backup, "--yes"}, interrupt);
    if (interrupted.Exit != 0) {
        EXPECT_EQ(interrupted.Exit, 128 + SIGINT) << interrupted.Err;
        EXPECT_TRUE(Has(interrupted.Err, "velkctl: interrupted: restored ")) << interrupted.Err << interrupted.Out;
        EXPECT_TRUE(Has(interrupted.Err, "run the same restore again to finish")) << interrupted.Err;
    }
    const TRunResult finished = again.Ctl({"restore", backup, "--yes"});
    EXPECT_EQ(finished.Exit, 0) << finished.Err;
    EXPECT_EQ(again.Flash(), flash);
    EXPECT_EQ(again.Ctl({"verify", backup}).Exit, 0);
}

// A record whose item table was damaged in flash: a save of its name warns
// and names its slot, records shows it, rmrecord frees it.
TEST(CtlRecordsTest, DamagedRecordIsShownWarnedOfAndRemovable) {
    TSimProcess sim;
    const auto item = sim.Folder().Write("item.bin", Pattern(100, 1));
    ASSERT_EQ(sim.Ctl({"put", "caf\xC3\xA9", "x", item.string()}).Exit, 0);
    ASSERT_EQ(sim.Ctl({"put", "twice", "x", item.string()}).Exit, 0);
    ASSERT_EQ(sim.Ctl({"put", "other", "x", item.string()}).Exit, 0);
    // The item count of slot 1 ("café") becomes 5.
    std::vector<uint8_t> head = sim.Slot(1);
    head.resize(80);
    head[79] = 5;
    const auto file = sim.Folder().Write("head.bin", head);
    ASSERT_EQ(sim.Ctl({"write", "flash", "0x34030000", file.string()}).Exit, 0);

    const TRunResult listed = sim.Ctl({"records"});
    EXPECT_TRUE(Has(listed.Out, "   1  0x34030000  caf\xC3\xA9      yes")) << listed.Out;
    EXPECT_TRUE(Has(listed.Out, "(not valid)")) << listed.Out;
    const TRunResult saved = sim.Ctl({"put", "caf\xC3\xA9", "x", item.string()});
    EXPECT_EQ(saved.Exit, 0) << saved.Err;
    EXPECT_TRUE(Has(saved.Err, "warning: slot 1 holds a damaged record \"caf\xC3\xA9\"")) << saved.Err;
    EXPECT_TRUE(Has(saved.Err, "velkctl rmrecord caf\xC3\xA9 --slot 1")) << saved.Err;

    struct TCase {
        std::vector<std::string> Args;
        int Exit;
        std::string Says;
    };
    const std::vector<TCase> cases = {
        {{"rmrecord", "nothing"}, 1, "No record nothing"},
        {{"rmrecord", "caf\xC3\xA9"}, 2, "is in slots 1, 4: give --slot N"},
        {{"rmrecord", "caf\xC3\xA9", "--slot", "2"}, 1, "Slot 2 holds no record caf\xC3\xA9"},
        {{"rmrecord", "caf\xC3\xA9", "--slot", "1"}, 0, "Removed record caf\xC3\xA9 from slot 1"},
        {{"rmrecord", "twice"}, 0, "Removed record twice from slot 2"},
    };
    for (const TCase &c : cases) {
        const TRunResult result = sim.Ctl(c.Args);
        EXPECT_EQ(result.Exit, c.Exit) << c.Args[1] << result.Err;
        EXPECT_TRUE(Has(result.Out + result.Err, c.Says)) << c.Args[1] << result.Out << result.Err;
    }
    const nlohmann::json directory = Directory(sim);
    EXPECT_EQ(directory["slots"][1]["status"], "free");
    EXPECT_EQ(directory["slots"][2]["status"], "free");
    EXPECT_EQ(Items(directory, 3), std::vector<std::string>{"x:100"});
    EXPECT_EQ(Items(directory, 4), std::vector<std::string>{"x:100"});
    // The slot is free as the record format marks it: status 0x0000.
    EXPECT_EQ(sim.Slot(1)[0], 0);
    EXPECT_EQ(sim.Slot(1)[1], 0);
}

} // namespace
