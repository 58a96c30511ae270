// velkctl end to end: usage, exit codes and the transfer commands against the
// simulator program.
#include "CtlTestSupport.h"
#include "Ser2netServer.h"
#include "ctlbackupfolder.h"
#include "ctlopenfailure.h"
#include "velkdescriptor.h"
#include "velklink.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

bool Has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

TEST(CtlUsageTest, HelpForTheToolAndEveryCommand) {
    const TRunResult help = Ctl({"--help"});
    EXPECT_EQ(help.Exit, 0);
    const std::vector<std::string> commands = {
        "ports", "sync", "read",   "write",   "firmware",       "records",       "get",
        "put",   "rm",   "backup", "restore", "upload-screens", "dump-settings", "rmrecord"};
    for (const std::string &command : commands) {
        EXPECT_TRUE(Has(help.Out, command)) << command;
        const TRunResult one = Ctl({command, "--help"});
        EXPECT_EQ(one.Exit, 0) << command << one.Err;
        EXPECT_TRUE(Has(one.Out, "Usage")) << command << one.Out;
    }
    EXPECT_TRUE(Has(Ctl({"upload-screens", "--help"}).Out, "--setup-lut"));
    // The version names the library velkctl loaded, as the library words it.
    const TRunResult version = Ctl({"--version"});
    EXPECT_EQ(version.Exit, 0);
    EXPECT_TRUE(Has(version.Out, std::string("\n") + velk_version() + "\n")) << version.Out;
}

TEST(CtlUsageTest, UsageErrorsAndBadArgumentsExitTwoBeforeAnyPortIsOpened) {
    struct TCase {
        std::vector<std::string> Args;
        std::string Says;
    };
    TempFolder folder;
    // The largest item a new record holds is its body less the item table.
    const auto tooBig = folder.Write("big.bin", std::vector<uint8_t>(65437, 7)).string();
    const auto fits = folder.Write("fits.bin", std::vector<uint8_t>(65436, 7)).string();
    const auto earlier = (folder.Path() / "earlier").string();
    std::filesystem::create_directory(earlier);
    folder.Write("earlier/backup.json", {'{', '}'});
    const std::string benchText = "/nowhere\n/nowhere-else # second\n";
    const auto bench = folder.Write("bench.txt", {benchText.begin(), benchText.end()}).string();
    const std::vector<TCase> cases = {
        {{}, "subcommand"},
        {{"--port", "/nowhere", "put", "x", "y", tooBig}, "holds more than 65436 bytes, the limit of a record item"},
        {{"--port", "/nowhere", "put", "x", "y", fits, "z", "/etc/hostname"}, "hold more than a record holds"},
        {{"--port", "/nowhere", "backup", earlier}, "already holds a backup (backup.json)"},
        {{"--port", "/nowhere", "rmrecord", "x", "--slot", "30"}, "--slot: 30 is outside"},
        {{"frobnicate"}, "unknown command: frobnicate"},
        {{"--port", "/nowhere", "--retries", "2", "frob", "x"}, "unknown command: frob"},
        {{"--port", "/nowhere", "read", "disk", "0", "1"}, "disk"},
        {{"--port", "/nowhere", "read", "flash", "0x3402000G", "4"}, "ADDR: \"0x3402000G\" is not a number"},
        {{"--port", "/nowhere", "read", "flash", "0", "0"}, "LEN: 0 is outside"},
        {{"--trace", "everything", "sync"}, "everything"},
        {{"sync"}, "No serial port"},
        // Remote names that name no server: nothing is contacted.
        {{"--port", "rfc2217://[::1", "sync"}, "--port: unclosed [ in rfc2217://[::1"},
        {{"--port", "rfc2217://127.0.0.1:99999", "sync"}, "no port number from 1 to 65535"},
        {{"--port", "socket://:0", "read", "eeprom", "0", "1"}, "no valid host in socket://:0"},
        {{"--port", "/dev/\xE2\x9C\x93", "sync"}, "--port: \"/dev/\xE2\x9C\x93\" has characters that Windows-1252"},
        {{"--port", "/nowhere", "write", "flash", "0", "/no/such/file.bin"}, "/no/such/file.bin"},
        {{"--port", "/nowhere", "put", "pictures", "name-too-long", "/dev/null"}, "ITEM: \"name-too-long\""},
        {{"--port", "/nowhere", "get", "recordname", "x"}, "RECORD: \"recordname\""},
        {{"--port", "/nowhere", "upload-screens", "--size", "1,2,3"}, "four values"},
        {{"--port", "/nowhere", "upload-screens", "--size", "0,-1,0,0"}, "Orig Y must be a whole number"},
        {{"--port", "/nowhere", "upload-screens", "--boot", "/no/such/boot.m2v"}, "/no/such/boot.m2v"},
        {{"--port", "/nowhere", "restore", "/no/such/backup"}, "/no/such/backup"},
        // Names the decoder cannot store: both would become "??".
        {{"--port", "/nowhere", "put", "\xE6\x97\xA5\xE6\x9C\xAC", "x", "/dev/null"}, "cannot store"},
        {{"--port", "/nowhere", "get", "r", "\xE4\xB8\xAD"}, "ITEM: \"\xE4\xB8\xAD\" has characters"},
        {{"--port", "/nowhere", "put", "r", "a\tb", "/dev/null"}, "ITEM: the name holds a control character"},
        {{"--port", "/nowhere", "rm", "r\x7F", "x"}, "RECORD: the name holds a control character"},
        {{"--port", "/nowhere", "put", "r", "\xFF", "/dev/null"}, "cannot store"},
        // Outputs that cannot be written, found before anything is read.
        {{"--port", "/nowhere", "get", "r", "x", "-o", "/no/such/dir/x.bin"}, "Cannot write \"/no/such/dir/x.bin\""},
        {{"--port", "/nowhere", "read", "flash", "0x34020000", "4", "-o", "/"}, "Cannot write \"/\""},
        {{"--port", "/nowhere", "dump-settings", "-o", "/no/such/set.bin"}, "/no/such/set.bin"},
        {{"--port", "/nowhere", "backup", "/dev/null"}, "/dev/null"},
        {{"--port", "/nowhere", "backup", "/etc/hostname/backup"}, "Cannot create"},
        // Ranges the decoder refuses.
        {{"--port", "/nowhere", "read", "flash", "0x10000", "16"}, "inside the record area 0x34020000 to 0x341FFFFF"},
        {{"--port", "/nowhere", "read", "flash", "0x341FFFF0", "17"}, "--force"},
        {{"--port", "/nowhere", "read", "eeprom", "0x1FF0", "17"}, "the EEPROM holds 8192 bytes"},
        {{"--port", "/nowhere", "write", "flash", "0x34020010", "/etc/hostname"}, "from the start of a record slot"},
        {{"--port", "/nowhere", "write", "flash", "0x34200000", "/etc/hostname"}, "from the start of a record slot"},
        // Inputs without end are read up to the limit and one byte more.
        {{"--port", "/nowhere", "put", "x", "y", "/dev/zero"}, "holds more than 65436 bytes"},
        {{"--port", "/nowhere", "put", "x", "y", "/etc/hostname", "z", "/dev/zero"}, "holds more than 65436 bytes"},
        {{"--port", "/nowhere", "write", "flash", "0x34100000", "/dev/zero"}, "holds more than 65536 bytes"},
        {{"--port", "/nowhere", "write", "eeprom", "0", "/dev/zero"}, "holds more than 8192 bytes"},
        {{"--port", "/nowhere", "put", "x", "y"}, "ITEM FILE"},
        // "-" is standard input (here empty); a folder is no input.
        {{"--port", "/nowhere", "write", "flash", "0x34020000", "-"}, "\"-\" is empty"},
        {{"--port", "/nowhere", "write", "flash", "0x34020000", "/"}, "Cannot read \"/\": it is a folder"},
        {{"--port", "/nowhere", "upload-screens", "--boot", "/dev/zero"}, "not a regular file"},
        // An upload without any resource would only overwrite "ini".
        {{"--port", "/nowhere", "upload-screens"}, "--settings-only"},
        {{"--port", "/nowhere", "upload-screens", "--size", "1,2,3,4"}, "at least one resource"},
        // Selectors malformed or unreadable; several decoders at once.
        {{"--port", "usb:403:6001", "sync"}, "\"usb:403:6001\" is no USB selector"},
        {{"--port", "@/no/such/bench.txt", "sync"}, "cannot read the port list \"/no/such/bench.txt\""},
        {{"--port", "@" + bench, "--jobs", "0", "sync"}, "--jobs"},
        {{"--port", "@" + bench, "backup", "/tmp/one"},
         "DIR: \"/tmp/one\" is \"/tmp/one\" for both nowhere and nowhere-else"},
    };
    for (const TCase &c : cases) {
        const TRunResult result = Ctl(c.Args);
        std::string line;
        for (const auto &arg : c.Args)
            line += arg + " ";
        EXPECT_EQ(result.Exit, 2) << line << result.Err;
        EXPECT_TRUE(Has(result.Err, c.Says)) << line << result.Err;
        // The port /nowhere was never opened: its failure would say so.
        EXPECT_FALSE(Has(result.Err, "Errore connettendo")) << line << result.Err;
    }
}

// The library's message stays as it is; velkctl adds why and what to do.
TEST(CtlUsageTest, PortThatCannotBeOpenedSaysWhy) {
    TSimProcess sim;
    const auto file = sim.Folder().Write("plain.bin", {1});
    // Another program holds the simulator's line open exclusively.
    TDescriptor held(open(sim.Line().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(held.Valid());
    ASSERT_EQ(flock(held.Get(), LOCK_EX | LOCK_NB), 0);
    const std::string refused = "127.0.0.1:" + std::to_string(Ser2netServer::FreePort());
    struct TCase {
        std::string Port;
        std::string Says;
    };
    const std::vector<TCase> cases = {
        {"/nowhere", "Errore connettendo la porta /nowhere. - no such device"},
        {"/etc/hostname/x", "no such device"},
        {file.string(), "not a serial port"},
        {"/dev/null", "not a serial port"},
        {sim.Folder().Path().string(), "not a serial port"},
        {sim.Line(), "in use by another program: "},
        // A remote port's cause is part of the library's message, said once.
        {"rfc2217://" + refused,
         "velkctl: Errore connettendo la porta rfc2217://" + refused + ". " + refused + ": connection refused\n"},
    };
    for (const TCase &c : cases) {
        const TRunResult result = Ctl({"--port", c.Port, "sync"});
        EXPECT_EQ(result.Exit, 1) << c.Port;
        EXPECT_TRUE(Has(result.Err, c.Says)) << c.Port << ": " << result.Err;
    }
    // The test process holds the lock: it is named.
    EXPECT_TRUE(Has(Ctl({"--port", sim.Line(), "sync"}).Err, "(process " + std::to_string(getpid()) + ")"));
    EXPECT_EQ(OpenFailureCause(EACCES, "/dev/ttyUSB0"),
              "permission denied (add your user to the group that owns the device, usually dialout)");
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: a device without permission cannot be made";
    const auto locked = sim.Folder().Write("locked", {1});
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    EXPECT_TRUE(Has(Ctl({"--port", locked.string(), "sync"}).Err, "permission denied (add your user"));
}

TEST(CtlUsageTest, DecoderThatNeverAnswersIsNamed) {
    TSimProcess sim({"--stop-after", "0"});
    const TRunResult result = sim.Ctl({"sync"});
    EXPECT_EQ(result.Exit, 1);
    EXPECT_TRUE(Has(result.Err, "no answer from the decoder: check the cable, the port and that it is powered"))
        << result.Err;
    // A decoder that answered the SYNC but not the request is there.
    TSimProcess swallowing({"--swallow", "1:reads"});
    const TRunResult late = swallowing.Ctl({"--retries", "0", "read", "flash", "0x34020000", "16"});
    EXPECT_EQ(late.Exit, 1);
    EXPECT_EQ(late.Err, "velkctl: Timeout nel protocollo a basso livello.\n");
}

TEST(CtlUsageTest, PortsListsTheSerialDevices) {
    const TRunResult ports = Ctl({"ports"});
    if (!std::filesystem::exists("/sys/class/tty")) {
        EXPECT_EQ(ports.Exit, 1) << "no list without /sys/class/tty";
        return;
    }
    EXPECT_EQ(ports.Exit, 0) << ports.Err;
    std::size_t start = 0;
    for (std::size_t end; (end = ports.Out.find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_TRUE(ports.Out.compare(start, 5, "/dev/") == 0 || ports.Out.compare(start, 4, "    ") == 0) << ports.Out;
    EXPECT_EQ(ports.Out.find('\0'), std::string::npos) << "names without their terminating zero";
}

TEST(CtlTransferTest, SyncSaysWhatTheDecoderAnsweredInUtf8) {
    TSimProcess sim;
    const TRunResult first = sim.Ctl({"sync"});
    EXPECT_EQ(first.Exit, 0) << first.Err;
    EXPECT_EQ(first.Out, "Decoder sincronizzato.\n");
    // The port may also come from the environment.
    const TRunResult second = Ctl({"sync"}, {.Environment = {{"VELK_PORT", sim.Line()}}});
    EXPECT_EQ(second.Exit, 0) << second.Err;
    EXPECT_EQ(second.Out, "Decoder gi\xC3\xA0 sincronizzato.\n");
    EXPECT_EQ(sim.Ctl({"--quiet", "sync"}).Out, "");
    // A name with a "/" in it is a path, also a relative one.
    const std::string relative = std::filesystem::relative(sim.Line()).string();
    ASSERT_NE(relative.front(), '/');
    const TRunResult third = Ctl({"--port", relative, "sync"});
    EXPECT_EQ(third.Exit, 0) << third.Err;
}

// A selector that names one decoder works as its port's name would, from
// --port and from VELK_PORT; "ports" lists whatever VELK_PORT says.
TEST(CtlUsageTest, SelectorNamingOneDecoderIsThatPort) {
    TSimProcess sim;
    const std::string text = "# the one decoder\n" + sim.Line() + "\n";
    const std::string list = sim.Folder().Write("bench.txt", {text.begin(), text.end()}).string();
    const TRunResult given = Ctl({"--port", "@" + list, "sync"});
    EXPECT_EQ(given.Exit, 0) << given.Err;
    EXPECT_EQ(given.Out, "Decoder sincronizzato.\n");
    const TRunResult fromEnvironment = Ctl({"sync"}, {.Environment = {{"VELK_PORT", "@" + list}}});
    EXPECT_EQ(fromEnvironment.Exit, 0) << fromEnvironment.Err;
    if (std::filesystem::exists("/sys/class/tty")) {
        EXPECT_EQ(Ctl({"ports"}, {.Environment = {{"VELK_PORT", "usb:no-such-adapter"}}}).Exit, 0);
        // Matching nothing is a usage error that shows what "ports" lists.
        const TRunResult none = Ctl({"--port", "usb:no-such-adapter", "sync"});
        EXPECT_EQ(none.Exit, 2) << none.Err;
        EXPECT_TRUE(Has(none.Err, "no serial port matches \"usb:no-such-adapter\"")) << none.Err;
        const std::string listed = Ctl({"ports"}).Out;
        EXPECT_TRUE(Has(none.Err, listed.substr(0, listed.find('\n')))) << none.Err;
    }
}

TEST(CtlTransferTest, ReadFlashAndEepromAsHexDumpOrIntoAFile) {
    TSimProcess sim;
    const TRunResult dump = sim.Ctl({"read", "flash", "0x34020040", "16"});
    EXPECT_EQ(dump.Exit, 0) << dump.Err;
    EXPECT_EQ(dump.Out.rfind("34020040  53 45 54 00", 0), 0u) << dump.Out;
    EXPECT_TRUE(Has(dump.Out, "|SET.")) << dump.Out;

    const auto file = (sim.Folder().Path() / "slot1.bin").string();
    const TRunResult read = sim.Ctl({"read", "flash", "0x34020000", "65536", "-o", file});
    EXPECT_EQ(read.Exit, 0) << read.Err;
    EXPECT_EQ(TempFolder::Read(file), sim.Slot(0));
    EXPECT_TRUE(Has(read.Out, "65536 bytes")) << read.Out;

    const auto eeprom = (sim.Folder().Path() / "eeprom.bin").string();
    EXPECT_EQ(sim.Ctl({"read", "eeprom", "0", "8192", "-o", eeprom}).Exit, 0);
    EXPECT_EQ(TempFolder::Read(eeprom), sim.Eeprom());

    // Outside the record area the decoder refuses the read that --force
    // sends; past the EEPROM's end the library does not send it.
    const TRunResult refused = sim.Ctl({"read", "flash", "0", "4", "--force"});
    EXPECT_EQ(refused.Exit, 1);
    EXPECT_EQ(refused.Err, "velkctl: Richiesta lettura rifiutata.\n");
    const TRunResult beyond = sim.Ctl({"read", "eeprom", "0x2000", "4", "--force"});
    EXPECT_EQ(beyond.Exit, 1);
    EXPECT_EQ(beyond.Err, "velkctl: EEPROM 0x2000 + 4 bytes: the EEPROM holds 8192 bytes\n");
}

TEST(CtlTransferTest, ReadAnsweredWithAnotherLengthFailsAndWritesNothing) {
    TSimProcess sim({"--short-reads", "1"});
    const auto file = (sim.Folder().Path() / "short.bin").string();
    const TRunResult read = sim.Ctl({"read", "flash", "0x34020000", "100", "-o", file});
    EXPECT_EQ(read.Exit, 1);
    EXPECT_EQ(read.Err, "velkctl: The decoder answered with 99 bytes instead of 100\n");
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(sim.Ctl({"read", "eeprom", "0", "16"}).Exit, 1);
}

// The decoder's line dies in the middle of a command (a cable pulled out): the
// command fails at once, well before any protocol time-out, with one message
// that says so, and the decoder's memory is as it was.
TEST(CtlTransferTest, LineDyingUnderACommandFailsAtOnceAndChangesNothing) {
    struct TCase {
        const char *when;
        const char *hangUpAfter; // bytes crossed since velkctl opened the line
        std::vector<std::string> args;
        std::vector<std::string> before{}; // a command that runs whole first
    };
    const std::vector<TCase> cases = {
        {"in the decoder's answer to a read", "20000", {"read", "flash", "0x34020000", "65536", "-o", "x.bin"}},
        {"at the first bytes of a read's answer", "100", {"read", "flash", "0x34020000", "65536", "-o", "x.bin"}},
        {"while the PC writes a record", "40000", {"put", "pictures", "boot", "big.bin"}},
        // The refresh and the record's full read take about 78 000 bytes, the
        // record's write as many again.
        {"while rm writes the record back",
         "110000",
         {"rm", "pictures", "small"},
         {"put", "pictures", "boot", "big.bin", "small", "small.bin"}},
    };
    for (const TCase &c : cases) {
        TSimProcess sim({"--hang-up-after", c.hangUpAfter});
        sim.Folder().Write("big.bin", Pattern(60000, 3));
        sim.Folder().Write("small.bin", Pattern(10, 4));
        const auto inFolder = [&](std::vector<std::string> args) {
            for (std::string &arg : args)
                if (arg.ends_with(".bin"))
                    arg = (sim.Folder().Path() / arg).string();
            return args;
        };
        if (!c.before.empty()) {
            ASSERT_EQ(sim.Ctl(inFolder(c.before)).Exit, 0) << c.when;
        }
        const std::vector<uint8_t> flash = sim.Flash();
        const auto started = std::chrono::steady_clock::now();
        const TRunResult run = sim.Ctl(inFolder(c.args));
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(run.Exit, 1) << c.when << run.Err;
        EXPECT_LT(took, std::chrono::seconds(4)) << c.when; // the response time-out is 5 s
        EXPECT_EQ(run.Err.rfind("velkctl: ", 0), 0u) << c.when << run.Err;
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << c.when << run.Err;
        EXPECT_TRUE(Has(run.Err, " - the line went away (the adapter was unplugged or the far end closed it): "))
            << c.when << run.Err;
        EXPECT_FALSE(Has(run.Err, "no answer from the decoder")) << c.when << run.Err;
        EXPECT_EQ(sim.Flash(), flash) << c.when;
        EXPECT_FALSE(std::filesystem::exists(sim.Folder().Path() / "x.bin")) << c.when;
    }
}

TEST(CtlTransferTest, WriteWithVerifyAndWithout) {
    TSimProcess sim;
    const auto file = sim.Folder().Write("data.bin", Pattern(3000, 7));
    const TRunResult verified = sim.Ctl({"write", "flash", "0x34050000", file.string(), "--verify"});
    EXPECT_EQ(verified.Exit, 0) << verified.Err;
    EXPECT_TRUE(Has(verified.Out, "verified 3000 bytes at flash 0x34050000")) << verified.Out;
    const auto slot = sim.Slot(3);
    EXPECT_TRUE(std::equal(slot.begin(), slot.begin() + 3000, Pattern(3000, 7).begin()));

    const auto small = sim.Folder().Write("small.bin", {1, 2, 3, 4});
    EXPECT_EQ(sim.Ctl({"write", "eeprom", "0x10", small.string()}).Exit, 0);
    const auto eeprom = sim.Eeprom();
    EXPECT_EQ(std::vector<uint8_t>(eeprom.begin() + 0x10, eeprom.begin() + 0x14), (std::vector<uint8_t>{1, 2, 3, 4}));

    const auto unwritable = (sim.Folder().Path() / "no-folder" / "out.bin").string();
    const TRunResult failed = sim.Ctl({"read", "flash", "0x34020000", "4", "-o", unwritable});
    EXPECT_EQ(failed.Exit, 2);
    EXPECT_TRUE(Has(failed.Err, unwritable)) << failed.Err;
}

TEST(CtlTransferTest, RefusedWriteFailsWithTheEnginesReason) {
    TSimProcess sim({"--refuse-writes", "1"});
    const auto file = sim.Folder().Write("data.bin", Pattern(10));
    const TRunResult result = sim.Ctl({"write", "flash", "0x34050000", file.string(), "--verify"});
    EXPECT_EQ(result.Exit, 1);
    EXPECT_EQ(result.Err, "velkctl: Scrittura fallita.\n");
}

TEST(CtlTransferTest, FirmwareImageReachesTheDecoder) {
    TSimProcess sim;
    const auto image = sim.Folder().Write("fw.bin", Pattern(70000, 3));
    const TRunResult result = sim.Ctl({"firmware", image.string()});
    EXPECT_EQ(result.Exit, 0) << result.Err;
    EXPECT_EQ(sim.Firmware(), Pattern(70000, 3));
}

TEST(CtlTransferTest, TraceSendsTheChosenLogsToStandardError) {
    TSimProcess sim;
    const TRunResult transfer = sim.Ctl({"--trace", "transfer", "sync"});
    EXPECT_EQ(transfer.Exit, 0);
    EXPECT_TRUE(Has(transfer.Err, "transfer: Sincronizzazione\n")) << transfer.Err;
    EXPECT_TRUE(Has(transfer.Err, "transfer: Stato: IDLE -> TX SYNC.") ||
                Has(transfer.Err, "transfer: Stato: NOT CONNECTED -> TX SYNC."))
        << transfer.Err;
    EXPECT_FALSE(Has(transfer.Err, "link: ")) << transfer.Err;

    const TRunResult all = sim.Ctl({"--trace", "all", "sync"});
    EXPECT_TRUE(Has(all.Err, "link: ")) << all.Err;
    EXPECT_TRUE(Has(all.Err, "transfer: Decoder gi\xC3\xA0 sincronizzato.")) << all.Err;
    EXPECT_TRUE(sim.Ctl({"sync"}).Err.empty());
}

} // namespace

namespace {

// A damaged answer ends an exchange; velkctl tries the exchange again. A
// refusal is the decoder's answer and is not tried again.
TEST(CtlTransferTest, FailedExchangesAreTriedAgainButRefusalsAreNot) {
    TSimProcess sim({"--corrupt-answers", "0.05", "--seed", "3"});
    const auto item = sim.Folder().Write("item.bin", Pattern(20000, 5));
    const TRunResult put = sim.Ctl({"--verbose", "put", "big", "x", item.string()});
    ASSERT_EQ(put.Exit, 0) << put.Err;
    int retried = Has(put.Err, "retry 1 of 3 after: ") ? 1 : 0;
    const auto back = (sim.Folder().Path() / "back.bin").string();
    for (int i = 0; i < 6; ++i) {
        const TRunResult get = sim.Ctl({"--verbose", "get", "big", "x", "-o", back});
        ASSERT_EQ(get.Exit, 0) << get.Err;
        EXPECT_EQ(TempFolder::Read(back), Pattern(20000, 5));
        retried += Has(get.Err, "retry 1 of 3 after: ") ? 1 : 0;
    }
    EXPECT_GT(retried, 0) << "no exchange failed: the fault rate is too low to test anything";

    TSimProcess refusing({"--refuse-reads", "1"});
    const TRunResult refused = refusing.Ctl({"--verbose", "read", "flash", "0x34020000", "16"});
    EXPECT_EQ(refused.Exit, 1);
    EXPECT_EQ(refused.Err, "velkctl: Richiesta lettura rifiutata.\n");
}

} // namespace

namespace {

constexpr const char *NoDecoder = "no answer from the decoder: check the cable, the port and that it is powered";

// Every command that talks to the decoder says that no decoder answered,
// whatever it was doing, and not that a record or a slot failed.
TEST(CtlFailureTest, EveryCommandAgainstASilentDecoderNamesTheMissingDecoder) {
    TempFolder folder;
    const auto data = folder.Write("data.bin", Pattern(16, 1)).string();
    const auto backup = folder.Path() / "backup";
    SaveBackup(backup, {std::vector<uint8_t>(std::size_t(kRecordSlotCount) * kRecordSlotSize, 0xFF),
                        std::vector<uint8_t>(kEepromSize, 0)});
    const std::vector<std::vector<std::string>> commands = {
        {"sync"},
        {"read", "flash", "0x34020000", "16"},
        {"write", "flash", "0x34020000", data},
        {"firmware", data},
        {"records"},
        {"get", "r", "x"},
        {"put", "r", "x", data},
        {"rm", "r", "x"},
        {"rmrecord", "r"},
        {"backup", (folder.Path() / "new").string()},
        {"restore", backup.string()},
        {"verify", backup.string()},
        {"upload-screens", "--settings-only"},
        {"dump-settings", "-o", (folder.Path() / "set.bin").string()},
    };
    std::vector<std::future<TRunResult>> runs;
    for (const auto &args : commands)
        runs.push_back(std::async(std::launch::async, [args] {
            TSimProcess silent({"--stop-after", "0"});
            return silent.Ctl(args);
        }));
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const TRunResult result = runs[i].get();
        EXPECT_EQ(result.Exit, 1) << commands[i][0] << result.Err;
        EXPECT_TRUE(Has(result.Err, NoDecoder)) << commands[i][0] << result.Err;
        EXPECT_FALSE(Has(result.Err, "Errore leggendo")) << commands[i][0] << result.Err;
        EXPECT_FALSE(Has(result.Err, ".:")) << commands[i][0] << result.Err;
    }
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "new"));
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "set.bin"));
}

// A decoder that stops answering in the middle of a command: each new try is
// said on one line, so that the wait does not look like a hang.
TEST(CtlFailureTest, RetriesAreSaidUnlessQuiet) {
    const auto run = [](std::vector<std::string> args) {
        return std::async(std::launch::async, [args] {
            TSimProcess swallowing({"--swallow", "1:reads"});
            return swallowing.Ctl(args);
        });
    };
    auto said = run({"--retries", "2", "read", "flash", "0x34020000", "16"});
    auto quiet = run({"--quiet", "--retries", "1", "read", "flash", "0x34020000", "16"});
    const TRunResult loud = said.get();
    EXPECT_EQ(loud.Exit, 1);
    EXPECT_TRUE(Has(loud.Err, "no answer; trying again (1 of 2)\nno answer; trying again (2 of 2)\n")) << loud.Err;
    EXPECT_FALSE(Has(loud.Err, NoDecoder)) << loud.Err;
    const TRunResult hushed = quiet.get();
    EXPECT_EQ(hushed.Exit, 1);
    EXPECT_FALSE(Has(hushed.Err, "trying again")) << hushed.Err;
}

// Ctrl-C in the middle of a command that writes files: a new file or folder
// is not left behind, an existing one keeps its bytes.
TEST(CtlFailureTest, InterruptedCommandsLeaveNoNewOrHalfFiles) {
    struct TCase {
        const char *what;
        std::vector<std::string> args; // "OUT" stands for the output's path
        bool exists;                   // the output is there before the command
        bool folder;
    };
    const std::vector<TCase> cases = {
        {"a read into a new file", {"read", "flash", "0x34030000", "65536", "-o", "OUT"}, false, false},
        {"a read into an existing file", {"read", "flash", "0x34030000", "65536", "-o", "OUT"}, true, false},
        {"a settings dump", {"dump-settings", "-o", "OUT"}, false, false},
        {"a backup into a new folder", {"backup", "OUT"}, false, true},
        {"a backup replacing another", {"backup", "--force", "OUT"}, true, true},
    };
    for (const TCase &c : cases) {
        // A line of 57600 baud: the commands take seconds.
        TSimProcess sim({"--baud", "57600"});
        TempFolder place;
        const auto out = place.Path() / "out";
        if (c.exists && c.folder)
            SaveBackup(out, {std::vector<uint8_t>(std::size_t(kRecordSlotCount) * kRecordSlotSize, 0x11),
                             std::vector<uint8_t>(kEepromSize, 0x22)});
        else if (c.exists)
            place.Write("out", Pattern(10, 9));
        std::vector<std::string> args = c.args;
        std::replace(args.begin(), args.end(), std::string("OUT"), out.string());
        const auto listing = [&] {
            std::vector<std::string> names;
            for (const auto &entry : std::filesystem::recursive_directory_iterator(place.Path()))
                names.push_back(entry.path().string() + ":" +
                                std::to_string(entry.is_regular_file() ? entry.file_size() : 0));
            std::sort(names.begin(), names.end());
            return names;
        };
        const std::vector<std::string> before = listing();
        const std::vector<uint8_t> flash = c.exists && c.folder ? TempFolder::Read(out / "flash.bin") : Pattern(10, 9);

        TRunOptions options;
        const auto started = std::chrono::steady_clock::now();
        options.InterruptWhen = [started](const std::string &, const std::string &) {
            return std::chrono::steady_clock::now() - started > std::chrono::milliseconds(800);
        };
        const TRunResult run = sim.Ctl(args, options);
        EXPECT_EQ(run.Exit, 128 + SIGINT) << c.what << run.Err;
        EXPECT_EQ(listing(), before) << c.what;
        if (c.exists) {
            EXPECT_EQ(TempFolder::Read(c.folder ? out / "flash.bin" : out), flash) << c.what;
        }
    }
}

} // namespace
