// velkctl on several decoders at once, end to end: each decoder a simulator
// program on a pseudo-terminal of its own, named through a port file.
#include "CtlTestSupport.h"
#include "velksimmemory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <set>
#include <sstream>

namespace {

constexpr uint32_t FirstSlot = 0x34020000;

// Simulators, and a port file naming them.
struct TBench {
    explicit TBench(std::size_t count, const std::vector<std::string> &args = {},
                    const std::map<std::size_t, std::vector<std::string>> &own = {}) {
        std::string list = "# the bench\n";
        for (std::size_t i = 0; i < count; ++i) {
            std::vector<std::string> simArgs = args;
            if (const auto found = own.find(i); found != own.end())
                simArgs.insert(simArgs.end(), found->second.begin(), found->second.end());
            Sims.push_back(std::make_unique<TSimProcess>(simArgs));
            list += Sims.back()->Line() + "\n";
        }
        PortFile = Folder.Write("bench.txt", std::vector<uint8_t>(list.begin(), list.end())).string();
    }
    // velkctl on every decoder of the bench, run in the bench's folder.
    TRunResult Ctl(std::vector<std::string> args, const TRunOptions &options = {}) const {
        args.insert(args.begin(), {"--port", "@" + PortFile});
        return ::Ctl(args, options);
    }
    // The label velkctl gives the decoder of simulator i: its line's file name,
    // the same for every simulator, so numbered from the second on.
    std::string Label(std::size_t i) const {
        const std::string name = std::filesystem::path(Sims[i]->Line()).filename().string();
        return i == 0 ? name : name + "-" + std::to_string(i + 1);
    }

    TempFolder Folder;
    std::vector<std::unique_ptr<TSimProcess>> Sims;
    std::string PortFile;
};

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

// Each decoder gets its own write and read back, paced like a cable and not;
// every line a decoder prints comes whole after its label.
TEST(CtlBenchTest, WritesAndReadsBackEveryDecoder) {
    for (const bool paced : {false, true}) {
        SCOPED_TRACE(paced ? "paced" : "unpaced");
        TBench bench(4, paced ? std::vector<std::string>{"--baud", "115200"} : std::vector<std::string>{});
        const auto data = Pattern(6000, 9);
        const std::string file = bench.Folder.Write("data.bin", data).string();
        const std::string dumps = (bench.Folder.Path() / "dump-{label}.bin").string();

        const TRunResult written =
            bench.Ctl({"write", "flash", "0x34020000", file, "--verify"}, paced ? ErrorOnTerminal() : TRunOptions{});
        ASSERT_EQ(written.Exit, 0) << written.Out << written.Err;
        const TRunResult read = bench.Ctl({"read", "flash", "0x34020000", "6000", "-o", dumps});
        ASSERT_EQ(read.Exit, 0) << read.Out << read.Err;

        std::set<std::string> labels;
        for (std::size_t i = 0; i < bench.Sims.size(); ++i) {
            labels.insert(bench.Label(i));
            const auto slot = bench.Sims[i]->Slot(0);
            EXPECT_TRUE(std::equal(data.begin(), data.end(), slot.begin())) << bench.Label(i);
            EXPECT_EQ(TempFolder::Read(bench.Folder.Path() / ("dump-" + bench.Label(i) + ".bin")), data);
        }
        std::size_t said = 0;
        for (const std::string &line : Lines(written.Out)) {
            if (line.rfind("Summary: ", 0) == 0)
                break;
            const std::string label = line.substr(0, line.find(": "));
            EXPECT_EQ(labels.count(label), 1u) << line;
            EXPECT_EQ(line.substr(label.size()), ": Wrote and verified 6000 bytes at flash 0x34020000");
            ++said;
        }
        EXPECT_EQ(said, bench.Sims.size());
        EXPECT_NE(written.Out.find("Summary: 4 of 4 decoders succeeded (exit code 0)"), std::string::npos);
        if (paced) { // a progress line per decoder, after its label
            for (const std::string &label : labels)
                EXPECT_NE(written.Err.find(label + ": write 0x34020000 "), std::string::npos) << written.Err;
        }
    }
}

// A decoder that hangs up in the middle fails alone: the others finish, the
// run exits 1 and its JSON names the failed decoder with its message.
TEST(CtlBenchTest, OneFailedDecoderIsNamedAndTheOthersFinish) {
    TBench bench(4, {}, {{2, {"--hang-up-after", "3000"}}});
    const std::string file = bench.Folder.Write("data.bin", Pattern(20000, 5)).string();
    const TRunResult result = bench.Ctl({"--json", "write", "flash", "0x34020000", file});
    EXPECT_EQ(result.Exit, 1) << result.Err;
    const nlohmann::json summary = nlohmann::json::parse(result.Out);
    EXPECT_FALSE(summary["ok"].get<bool>());
    EXPECT_EQ(summary["exit_code"], 1);
    EXPECT_EQ(summary["failed"], 1);
    ASSERT_EQ(summary["decoders"].size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const nlohmann::json &decoder = summary["decoders"][i];
        EXPECT_EQ(decoder["label"], bench.Label(i));
        EXPECT_EQ(decoder["port"], bench.Sims[i]->Line());
        EXPECT_EQ(decoder["ok"].get<bool>(), i != 2);
        if (i == 2) {
            EXPECT_EQ(decoder["exit_code"], 1);
            EXPECT_FALSE(decoder["error"].get<std::string>().empty());
            EXPECT_NE(result.Err.find(bench.Label(i) + ": velkctl: " + decoder["error"].get<std::string>()),
                      std::string::npos)
                << result.Err;
        } else {
            EXPECT_TRUE(decoder["error"].is_null());
            EXPECT_EQ(decoder["result"], "Wrote 20000 bytes to flash 0x34020000\n");
        }
    }
}

// Paths with placeholders give each decoder its own; what several decoders
// would share is refused before any port opens.
TEST(CtlBenchTest, PathsAreEachDecodersOwn) {
    TBench bench(2);
    const std::filesystem::path saved = bench.Folder.Path() / "saved";
    const TRunResult backup = bench.Ctl({"-q", "backup", (saved / "{label}").string()});
    ASSERT_EQ(backup.Exit, 0) << backup.Err;
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_TRUE(std::filesystem::exists(saved / bench.Label(i) / "backup.json")) << bench.Label(i);

    struct TCase {
        std::vector<std::string> args;
        std::string says;
    };
    const std::string one = (saved / bench.Label(0)).string();
    const std::vector<TCase> refused = {
        {{"backup", (bench.Folder.Path() / "one").string()}, "DIR: "},
        {{"restore", "--yes", one}, "DIR: "},
        {{"read", "flash", "0x34020000", "16", "-o", "-"}, "-o: "},
        {{"read", "flash", "0x34020000", "16", "-o", (bench.Folder.Path() / "{serial}.bin").string()}, "{serial}"},
    };
    const auto flash = bench.Sims[1]->Flash();
    for (const TCase &c : refused) {
        const TRunResult result = bench.Ctl(c.args);
        EXPECT_EQ(result.Exit, 2) << c.args[0];
        EXPECT_NE(result.Err.find(c.says), std::string::npos) << result.Err;
        EXPECT_EQ(result.Out, "") << c.args[0];
    }
    EXPECT_FALSE(std::filesystem::exists(bench.Folder.Path() / "one"));
    EXPECT_EQ(bench.Sims[1]->Flash(), flash);

    // Without --yes a restore only shows, per decoder, what it would change.
    const TRunResult shown = bench.Ctl({"restore", one});
    EXPECT_EQ(shown.Exit, 0) << shown.Err;
    EXPECT_NE(shown.Out.find(bench.Label(1) + ": "), std::string::npos) << shown.Out;
}
