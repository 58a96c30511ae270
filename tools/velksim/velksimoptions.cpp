#include "velksimoptions.h"

#include "velksimerror.h"

#include "velkformat.h"
#include "wholenumber.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>

namespace velksim {

namespace {

// "RATE:REST" split at the first colon.
std::pair<std::string, std::string> SplitValue(const std::string &value) {
    size_t colon = value.find(':');
    if (colon == std::string::npos)
        return {value, {}};
    return {value.substr(0, colon), value.substr(colon + 1)};
}

int64_t WholeNumber(const std::string &option, const std::string &text, int64_t low, int64_t high) {
    const std::optional<uint64_t> value = ParseWholeNumber(text);
    if (!value || *value < uint64_t(low) || *value > uint64_t(high))
        throw ESimUsage(Format("%s needs a whole number from %d to %d, not '%s'", option, low, high, text));
    return int64_t(*value);
}

double Rate(const std::string &option, const std::string &text) {
    char *end = nullptr;
    double value = text.empty() ? NAN : std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !(value >= 0 && value <= 1))
        throw ESimUsage(Format("%s needs a rate from 0 to 1 (such as 0.05), not '%s'", option, text));
    return value;
}

uint32_t RequestKinds(const std::string &option, const std::string &text) {
    static const std::map<std::string, uint32_t> names = {{"sync", rqSync},
                                                          {"read-flash", rqReadFlash},
                                                          {"read-eeprom", rqReadEeprom},
                                                          {"write-flash", rqWriteFlash},
                                                          {"write-eeprom", rqWriteEeprom},
                                                          {"firmware", rqFirmware},
                                                          {"other", rqOther},
                                                          {"reads", rqReads},
                                                          {"writes", rqWrites},
                                                          {"all", rqAll}};
    uint32_t kinds = 0;
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        std::string name = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        auto found = names.find(name);
        if (found == names.end())
            throw ESimUsage(Format("%s: unknown request kind '%s' (use sync, read-flash, read-eeprom, "
                                   "write-flash, write-eeprom, firmware, other, reads, writes, all)",
                                   option, name));
        kinds |= found->second;
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
    return kinds;
}

const char *const kIntro = R"(Plays a satellite decoder at the far end of a serial line, for velklink and its
tools when no decoder is at hand. It creates a pseudo-terminal (or opens a real
serial device), prints one line naming the device to open, and serves the
decoder's serial protocol until interrupted (Ctrl-C, SIGTERM).

The decoder holds 30 record slots of 64 KiB of flash from 0x34020000, an 8 KiB
EEPROM and the last firmware image. A fresh state is a small demo decoder: the
EEPROM's slot table admits every slot but slot 29, and slot 0 holds the
settings record "SET" with its item "SET".
Numbers are decimal, or hexadecimal after 0x.
)";

const char *const kExitStatus = R"(Exit status: 0 after an interrupt, 1 when serving ended otherwise (a hang-up
fault, a line that failed or could not be created), 2 for a bad option or a
state folder that cannot be used.)";

// An option with a value, handled as soon as it is read, so that of two
// options setting the same thing (--nack and --nack-next, --partial and
// --partial-answers) the later one on the command line wins.
CLI::Option *Value(CLI::App &app, const std::string &name, const std::string &type, const std::string &help,
                   std::function<void(const std::string &option, const std::string &value)> take) {
    return app
        .add_option_function<std::string>(
            name, [name, take](const std::string &value) { take(name, value); }, help)
        ->type_name(type)
        ->trigger_on_parse();
}

// Every option, its value's handling and its text in --help.
void DefineOptions(CLI::App &app, TSimOptions &o) {
    app.description(kIntro);
    app.footer(kExitStatus);
    app.get_formatter()->column_width(27);
    TSimConfig &c = o.config;
    TSimFaults &f = o.config.faults;

    app.option_defaults()->group("Line and state");
    auto *state = Value(app, "--state", "DIR",
                        "keep the decoder's memory in DIR (flash.bin, eeprom.bin,\n"
                        "firmware.bin), created with the demo decoder when empty and\n"
                        "saved atomically after every accepted write; without it the\n"
                        "memory lives only as long as the program",
                        [&c](auto &, auto &v) { c.stateFolder = v; });
    app.add_flag("--fresh", c.resetState, "with --state: start again from the demo decoder")
        ->needs(state)
        ->disable_flag_override();
    Value(app, "--link", "PATH",
          "make PATH a symbolic link to the line (the library opens\n"
          "PATH); removed again at the end",
          [&c](auto &, auto &v) { c.linkPath = v; });
    Value(app, "--device", "DEV", "serve on the serial device DEV instead of a pseudo-terminal",
          [&c](auto &, auto &v) { c.device = v; });
    Value(app, "--baud", "N",
          "pace the line to N baud, 8N1 (10 bits a byte), so transfers\n"
          "take as long as on a real cable; unpaced by default. With\n"
          "--device: the device's speed (default 115200)",
          [&c](auto &n, auto &v) { c.baud = int32_t(WholeNumber(n, v, 1, 4000000)); });
    Value(app, "--adapter-latency", "MS",
          "play a USB serial adapter whose latency timer is MS\n"
          "milliseconds (16 by default on common chips): bytes to the\n"
          "PC are held until 62 are waiting or MS has passed",
          [&c](auto &n, auto &v) { c.adapterLatencyMs = int32_t(WholeNumber(n, v, 0, 1000)); });
    app.add_flag("--trace", o.trace, "print every packet and request on standard error")->disable_flag_override();
    app.set_help_flag("-h,--help", "show this text");

    app.option_defaults()->group("Faults (RATE is a probability from 0 to 1, decided afresh for each occasion)");
    Value(app, "--seed", "N", "seed of the fault decisions, to replay a run (default 1)",
          [&f](auto &n, auto &v) { f.seed = uint64_t(WholeNumber(n, v, 0, INT64_MAX)); });
    const auto rate = [&app](const std::string &name, double &field, const std::string &help) {
        Value(app, name, "RATE", help, [&field](auto &n, auto &v) { field = Rate(n, v); });
    };
    rate("--corrupt-received", f.corruptReceived, "a DATA packet from the PC arrives damaged (NACKed)");
    rate("--corrupt-sent", f.corruptSent, "a DATA packet to the PC is damaged on the way");
    rate("--corrupt-answers", f.corruptAnswers, "an ACK or NACK to the PC is damaged on the way");
    rate("--drop-answers", f.dropAnswers, "an ACK or NACK to the PC is lost");
    Value(app, "--nack", "RATE[:TEXT]",
          "refuse a valid DATA packet with a NACK carrying TEXT\n"
          "(default ERR); the PC resends it without limit",
          [&f](auto &n, auto &v) {
              auto [rate, text] = SplitValue(v);
              f.nackRate = Rate(n, rate);
              if (!text.empty())
                  f.nackReason = text;
          });
    Value(app, "--nack-next", "N[:TEXT]", "refuse the next N valid DATA packets that way", [&f](auto &n, auto &v) {
        auto [count, text] = SplitValue(v);
        f.nackNext = int32_t(WholeNumber(n, count, 0, INT32_MAX));
        if (!text.empty())
            f.nackReason = text;
    });
    Value(app, "--noise", "RATE[:MAX]", "send 1 to MAX (default 16) noise bytes before a packet",
          [&f](auto &n, auto &v) {
              auto [rate, most] = SplitValue(v);
              f.noiseRate = Rate(n, rate);
              if (!most.empty())
                  f.noiseMax = int32_t(WholeNumber(n, most, 1, 65536));
          });
    Value(app, "--late", "MS[:RATE]", "send a packet MS milliseconds late (every one, or at RATE)",
          [&f](auto &n, auto &v) {
              auto [ms, rate] = SplitValue(v);
              f.lateMs = int32_t(WholeNumber(n, ms, 0, 3600000));
              f.lateRate = rate.empty() ? 1.0 : Rate(n, rate);
          });
    const auto partial = [&f](double &field) {
        return [&f, &field](const std::string &n, const std::string &v) {
            auto [rate, bytes] = SplitValue(v);
            field = Rate(n, rate);
            if (!bytes.empty())
                f.partialBytes = int32_t(WholeNumber(n, bytes, 1, 65535));
        };
    };
    Value(app, "--partial", "RATE[:BYTES]",
          "send only the first BYTES (default: a random part) of\n"
          "a DATA packet",
          partial(f.partialRate));
    Value(app, "--partial-answers", "RATE[:BYTES]", "the same for an ACK or NACK", partial(f.partialAnswers));
    Value(app, "--stop-after", "N", "answer nothing after N transmissions from the PC",
          [&f](auto &n, auto &v) { f.stopAfter = int32_t(WholeNumber(n, v, 0, INT32_MAX)); });
    Value(app, "--hang-up-after", "BYTES",
          "hang up the line once BYTES bytes have crossed it in\n"
          "either direction since the PC opened it (in the\n"
          "middle of a packet or of a write), and end",
          [&f](auto &n, auto &v) { f.hangUpAfterBytes = WholeNumber(n, v, 1, INT64_MAX); });
    Value(app, "--hang-up-after-transmissions", "N", "hang up the line after serving N transmissions, and end",
          [&f](auto &n, auto &v) { f.hangUpAfterTransmissions = int32_t(WholeNumber(n, v, 0, INT32_MAX)); });
    Value(app, "--swallow", "RATE[:KINDS]",
          "acknowledge a request but never answer it; KINDS is a\n"
          "comma list of sync, read-flash, read-eeprom,\n"
          "write-flash, write-eeprom, firmware, other, reads,\n"
          "writes, all (default all)",
          [&f](auto &n, auto &v) {
              auto [rate, kinds] = SplitValue(v);
              f.swallowRate = Rate(n, rate);
              if (!kinds.empty())
                  f.swallowKinds = RequestKinds(n, kinds);
          });
    rate("--refuse-reads", f.refuseReads, "refuse a READ FLASH or READ EEPROM with a NACK");
    rate("--refuse-writes", f.refuseWrites, "refuse a WRITE FLASH, WRITE EEPROM or FIRMWARE with a NACK");
    rate("--short-reads", f.shortReads, "answer a read with DATA one byte shorter than asked for");
    rate("--hostile", f.hostileAnswers,
         "answer a request with what a sound decoder never sends:\n"
         "random bytes, a broken or cut packet, a packet of\n"
         "the wrong kind, DATA of the wrong size");
    rate("--hostile-packets", f.hostilePackets,
         "send random bytes or a well-formed link packet of the\n"
         "wrong kind (or a wrong packet count or payload\n"
         "length) instead of a link packet");
}

} // namespace

TSimOptions ParseOptions(const std::vector<std::string> &arguments) {
    TSimOptions options;
    CLI::App app("", "velksim");
    DefineOptions(app, options);
    // CLI11 takes the arguments from the back.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp &) {
        options.help = true;
    } catch (const CLI::ParseError &error) {
        throw ESimUsage(error.what());
    }
    return options;
}

std::string HelpText() {
    TSimOptions options;
    CLI::App app("", "velksim");
    DefineOptions(app, options);
    return app.help();
}

} // namespace velksim
