// The velksim program as a user runs it: its options, its messages and exit
// codes, and a state that survives killing it.
#include "SimPeer.h"

#include "velksimerror.h"
#include "velksimmemory.h"
#include "velksimoptions.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

using namespace velksim;
namespace fs = std::filesystem;

extern char **environ;

namespace {

// The program started with arguments, its standard output and error read
// through pipes.
class TProgram {
public:
    explicit TProgram(const std::vector<std::string> &arguments) {
        int out[2], err[2];
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> all = {VELKSIM_PROGRAM};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char *> argv;
        for (auto &argument : all)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        EXPECT_EQ(::posix_spawn(&pid_, VELKSIM_PROGRAM, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_.Reset(out[0]);
        err_.Reset(err[0]);
    }
    ~TProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // The first line of standard output.
    std::string FirstLine() {
        std::string line;
        char c;
        while (::read(out_.Get(), &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    void Signal(int signal) { ::kill(pid_, signal); }
    // Waits for the end; the exit code, or 128 + the signal that ended it.
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string Output() { return ReadAll(out_); }
    std::string Errors() { return ReadAll(err_); }

private:
    static std::string ReadAll(const TDescriptor &fd) {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd.Get(), buffer, sizeof buffer)) > 0)
            text.append(buffer, size_t(n));
        return text;
    }

    pid_t pid_ = -1;
    TDescriptor out_, err_;
};

std::string UsageError(const std::vector<std::string> &arguments) {
    try {
        ParseOptions(arguments);
    } catch (const ESimUsage &error) {
        return error.Message();
    }
    return "accepted";
}

} // namespace

TEST(OptionsTest, ValuesAreParsedIntoTheConfiguration) {
    TSimOptions options = ParseOptions({"--state", "dir", "--fresh", "--link=/tmp/l", "--baud", "115200", "--seed=0x10",
                                        "--late", "200:0.5", "--swallow", "0.3:reads,sync", "--nack", "1:XYZ",
                                        "--partial", "0.5:6", "--stop-after", "3", "--trace"});
    const TSimConfig &config = options.config;
    EXPECT_EQ(config.stateFolder, "dir");
    EXPECT_TRUE(config.resetState);
    EXPECT_EQ(config.linkPath, "/tmp/l");
    EXPECT_EQ(config.baud, 115200);
    EXPECT_EQ(config.faults.seed, 16u);
    EXPECT_EQ(config.faults.lateMs, 200);
    EXPECT_DOUBLE_EQ(config.faults.lateRate, 0.5);
    EXPECT_EQ(config.faults.swallowKinds, uint32_t(rqReads | rqSync));
    EXPECT_DOUBLE_EQ(config.faults.nackRate, 1.0);
    EXPECT_EQ(config.faults.nackReason, "XYZ");
    EXPECT_EQ(config.faults.partialBytes, 6);
    EXPECT_EQ(config.faults.stopAfter, 3);
    EXPECT_TRUE(options.trace);
    EXPECT_FALSE(options.help);
    EXPECT_DOUBLE_EQ(ParseOptions({"--late", "50"}).config.faults.lateRate, 1.0);
}

TEST(OptionsTest, BadOptionsAreNamedInTheMessage) {
    EXPECT_EQ(UsageError({"--corrupt-sent", "1.5"}),
              "--corrupt-sent needs a rate from 0 to 1 (such as 0.05), not '1.5'");
    EXPECT_EQ(UsageError({"--baud"}), "--baud: 1 required N missing");
    EXPECT_EQ(UsageError({"--baud", "0"}), "--baud needs a whole number from 1 to 4000000, not '0'");
    EXPECT_EQ(UsageError({"--baud", "-5"}), "--baud needs a whole number from 1 to 4000000, not '-5'");
    EXPECT_EQ(UsageError({"--fresh"}), "--fresh requires --state");
    EXPECT_EQ(UsageError({"--trace=1"}), "trace was given a disallowed flag override");
    EXPECT_EQ(UsageError({"--bogus"}), "The following argument was not expected: --bogus");
    EXPECT_EQ(UsageError({"extra"}), "The following argument was not expected: extra");
    EXPECT_NE(UsageError({"--swallow", "1:reads,bogus"}).find("unknown request kind 'bogus'"), std::string::npos);
}

TEST(ProgramTest, HelpAndBadOptions) {
    TProgram help({"--help"});
    EXPECT_EQ(help.Wait(), 0);
    std::string text = help.Output();
    for (const char *option : {"--state",
                               "--link",
                               "--device",
                               "--baud",
                               "--seed",
                               "--corrupt-received",
                               "--corrupt-sent",
                               "--corrupt-answers",
                               "--drop-answers",
                               "--nack",
                               "--nack-next",
                               "--noise",
                               "--late",
                               "--partial",
                               "--partial-answers",
                               "--stop-after",
                               "--hang-up-after",
                               "--hang-up-after-transmissions",
                               "--swallow",
                               "--refuse-reads",
                               "--refuse-writes",
                               "--short-reads",
                               "--trace"})
        EXPECT_NE(text.find(option), std::string::npos) << option;

    TProgram bad({"--noise", "often"});
    EXPECT_EQ(bad.Wait(), 2);
    EXPECT_EQ(bad.Errors(), "velksim: --noise needs a rate from 0 to 1 (such as 0.05), not 'often'\n"
                            "Try 'velksim --help'.\n");
}

TEST(ProgramTest, ADamagedStateIsRefusedWithExitCode2) {
    fs::path folder = fs::temp_directory_path() / ("velksim-program-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "flash.bin") << "short";
    std::ofstream(folder / "eeprom.bin") << std::string(EepromSize, '\0');
    TProgram program({"--state", folder.string()});
    EXPECT_EQ(program.Wait(), 2);
    std::string errors = program.Errors();
    EXPECT_NE(errors.find((folder / "flash.bin").string()), std::string::npos) << errors;
    EXPECT_NE(errors.find("holds 5 bytes"), std::string::npos) << errors;
    fs::remove_all(folder);
}

TEST(ProgramTest, ServesOnItsLinkAndKeepsAcceptedWritesWhenKilled) {
    fs::path folder = fs::temp_directory_path() / ("velksim-program-run-" + std::to_string(::getpid()));
    fs::path link = folder / "line";
    fs::create_directories(folder);
    std::vector<std::string> arguments = {"--state", (folder / "state").string(), "--link", link.string()};
    std::vector<uint8_t> bytes = {0x00, 0x40, 1, 2, 3};
    {
        TProgram program(arguments);
        EXPECT_EQ(program.FirstLine(), "velksim: decoder ready on " + link.string());
        EXPECT_TRUE(fs::is_symlink(link));
        TSimPeer peer(link.string());
        EXPECT_EQ(peer.Sync(), HL_ACK);
        ASSERT_EQ(peer.Store(HL_WRITE_FLASH, SlotAddress(6), bytes), HL_ACK);
        program.Signal(SIGKILL);
        EXPECT_EQ(program.Wait(), 128 + SIGKILL);
    }
    {
        TProgram program(arguments); // replaces the link left behind
        ASSERT_EQ(program.FirstLine(), "velksim: decoder ready on " + link.string()) << program.Errors();
        TSimPeer peer(link.string());
        std::vector<uint8_t> data;
        ASSERT_EQ(peer.ReadFlash(SlotAddress(6), 5, &data), HL_DATA);
        EXPECT_EQ(data, bytes);
        program.Signal(SIGTERM);
        EXPECT_EQ(program.Wait(), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    }
    fs::remove_all(folder);
}

TEST(ProgramTest, AHangUpFaultEndsTheProgram) {
    TProgram program({"--hang-up-after-transmissions", "1", "--trace"});
    std::string line = program.FirstLine();
    ASSERT_EQ(line.rfind("velksim: decoder ready on /dev/", 0), 0u) << line;
    TSimPeer peer(line.substr(line.find("/dev/")));
    EXPECT_EQ(peer.Sync(), HL_ACK);
    EXPECT_EQ(program.Wait(), 1);
    std::string errors = program.Errors();
    EXPECT_NE(errors.find("velksim: hung up the line (fault)"), std::string::npos) << errors;
    EXPECT_NE(errors.find("-> SYNC"), std::string::npos) << errors; // the trace
}

TEST(ProgramTest, ALinkThatCannotBeMadeOrIsServedIsRefused) {
    TProgram missing({"--link", "/no/such/folder/line"});
    EXPECT_EQ(missing.Wait(), 2);
    std::string errors = missing.Errors();
    EXPECT_NE(errors.find("/no/such/folder/line"), std::string::npos) << errors;
    EXPECT_NE(errors.find("No such file or directory"), std::string::npos) << errors;

    fs::path folder = fs::temp_directory_path() / ("velksim-program-link-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string link = (folder / "line").string();
    TProgram first({"--link", link});
    ASSERT_EQ(first.FirstLine(), "velksim: decoder ready on " + link);
    TProgram second({"--link", link});
    EXPECT_EQ(second.Wait(), 2);
    errors = second.Errors();
    EXPECT_NE(errors.find(link + " is the line of another velksim"), std::string::npos) << errors;
    // A link left behind by a killed simulator, whose terminal was given to
    // the first one since, is not the first one's line: it is taken over.
    const std::string stale = (folder / "stale").string();
    fs::create_symlink(fs::read_symlink(link), stale);
    TProgram third({"--link=" + stale});
    ASSERT_EQ(third.FirstLine(), "velksim: decoder ready on " + stale) << third.Errors();
    EXPECT_NE(fs::read_symlink(stale), fs::read_symlink(link));
    // The first one still serves on its link.
    TSimPeer peer(link);
    EXPECT_EQ(peer.Sync(), HL_ACK);
    first.Signal(SIGTERM);
    EXPECT_EQ(first.Wait(), 0);
    fs::remove_all(folder);
}
