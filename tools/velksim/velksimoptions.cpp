#include "velksimoptions.h"

#include "velksimerror.h"

#include "velkformat.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

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
    int64_t value = 0;
    const char *first = text.data();
    const char *last = first + text.size();
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        first += 2;
        base = 16;
    }
    auto [end, error] = std::from_chars(first, last, value, base);
    if (text.empty() || error != std::errc() || end != last || value < low || value > high)
        throw ESimUsage(Format("%s needs a whole number from %d to %d, not '%s'", option, low, high, text));
    return value;
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

using THandler = std::function<void(TSimOptions &, const std::string &option, const std::string &value)>;

struct TOptionRule {
    bool takesValue;
    THandler handler;
};

const std::map<std::string, TOptionRule> &OptionRules() {
    static const std::map<std::string, TOptionRule> rules = {
        {"--help", {false, [](TSimOptions &o, auto &, auto &) { o.help = true; }}},
        {"--trace", {false, [](TSimOptions &o, auto &, auto &) { o.trace = true; }}},
        {"--fresh", {false, [](TSimOptions &o, auto &, auto &) { o.config.resetState = true; }}},
        {"--state", {true, [](TSimOptions &o, auto &, auto &v) { o.config.stateFolder = v; }}},
        {"--link", {true, [](TSimOptions &o, auto &, auto &v) { o.config.linkPath = v; }}},
        {"--device", {true, [](TSimOptions &o, auto &, auto &v) { o.config.device = v; }}},
        {"--baud",
         {true, [](TSimOptions &o, auto &n, auto &v) { o.config.baud = int32_t(WholeNumber(n, v, 1, 4000000)); }}},
        {"--adapter-latency",
         {true,
          [](TSimOptions &o, auto &n, auto &v) { o.config.adapterLatencyMs = int32_t(WholeNumber(n, v, 0, 1000)); }}},
        {"--seed",
         {true,
          [](TSimOptions &o, auto &n, auto &v) { o.config.faults.seed = uint64_t(WholeNumber(n, v, 0, INT64_MAX)); }}},
        {"--corrupt-received",
         {true, [](TSimOptions &o, auto &n, auto &v) { o.config.faults.corruptReceived = Rate(n, v); }}},
        {"--corrupt-sent", {true, [](TSimOptions &o, auto &n, auto &v) { o.config.faults.corruptSent = Rate(n, v); }}},
        {"--corrupt-answers",
         {true, [](TSimOptions &o, auto &n, auto &v) { o.config.faults.corruptAnswers = Rate(n, v); }}},
        {"--drop-answers", {true, [](TSimOptions &o, auto &n, auto &v) { o.config.faults.dropAnswers = Rate(n, v); }}},
        {"--nack",
         {true,
          [](TSimOptions &o, auto &n, auto &v) {
              auto [rate, text] = SplitValue(v);
              o.config.faults.nackRate = Rate(n, rate);
              if (!text.empty())
                  o.config.faults.nackReason = text;
          }}},
        {"--nack-next",
         {true,
          [](TSimOptions &o, auto &n, auto &v) {
              auto [count, text] = SplitValue(v);
              o.config.faults.nackNext = int32_t(WholeNumber(n, count, 0, INT32_MAX));
              if (!text.empty())
                  o.config.faults.nackReason = text;
          }}},
        {"--noise",
         {true,
          [](TSimOptions &o, auto &n, auto &v) {
              auto [rate, most] = SplitValue(v);
              o.config.faults.noiseRate = Rate(n, rate);
              if (!most.empty())
                  o.config.faults.noiseMax = int32_t(WholeNumber(n, most, 1, 65536));
          }}},
        {"--late",
         {true,
          [](TSimOptions &o, auto &n, auto &v) {
              auto [ms, rate] = SplitValue(v);
              o.config.faults.lateMs = int32_t(WholeNumber(n, ms, 0, 3600000));
              o.config.faults.lateRate = rate.empty() ? 1.0 : Rate(n, rate);
          }}},
        {"--partial",
         {true,
          [](TSimOptions &o, auto &n, auto &v) {
              auto [rate, bytes] = SplitValue(v);
              o.config.faults.partialRate = Rate(n, rate);
              if (!bytes.empty())
                  o.config.faults.partialBytes = int32_t(WholeNumber(n, bytes, 1, 65535));
          }}},
        {"--partial-answers",
         {true,
          [](TSimOptions &o, auto &n, auto &v) {
              auto [rate, bytes] = SplitValue(v);
              o.config.faults.partialAnswers = Rate(n, rate);
              if (!bytes.empty())
                  o.config.faults.partialBytes = int32_t(WholeNumber(n, bytes, 1, 65535));
          }}},
        {"--stop-after",
         {true, [](TSimOptions &o, auto &n,
                   auto &v) { o.config.faults.stopAfter = int32_t(WholeNumber(n, v, 0, INT32_MAX)); }}},
        {"--hang-up-after",
         {true, [](TSimOptions &o, auto &n,
                   auto &v) { o.config.faults.hangUpAfterBytes = WholeNumber(n, v, 1, INT64_MAX); }}},
        {"--hang-up-after-transmissions",
         {true, [](TSimOptions &o, auto &n,
                   auto &v) { o.config.faults.hangUpAfterTransmissions = int32_t(WholeNumber(n, v, 0, INT32_MAX)); }}},
        {"--swallow",
         {true,
          [](TSimOptions &o, auto &n, auto &v) {
              auto [rate, kinds] = SplitValue(v);
              o.config.faults.swallowRate = Rate(n, rate);
              if (!kinds.empty())
                  o.config.faults.swallowKinds = RequestKinds(n, kinds);
          }}},
        {"--refuse-reads", {true, [](TSimOptions &o, auto &n, auto &v) { o.config.faults.refuseReads = Rate(n, v); }}},
        {"--refuse-writes",
         {true, [](TSimOptions &o, auto &n, auto &v) { o.config.faults.refuseWrites = Rate(n, v); }}},
        {"--short-reads", {true, [](TSimOptions &o, auto &n, auto &v) { o.config.faults.shortReads = Rate(n, v); }}},
        {"--hostile", {true, [](TSimOptions &o, auto &n, auto &v) { o.config.faults.hostileAnswers = Rate(n, v); }}},
        {"--hostile-packets",
         {true, [](TSimOptions &o, auto &n, auto &v) { o.config.faults.hostilePackets = Rate(n, v); }}},
    };
    return rules;
}

} // namespace

TSimOptions ParseOptions(const std::vector<std::string> &arguments) {
    TSimOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        bool inlineValue = false;
        if (name == "-h")
            name = "--help";
        size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            inlineValue = true;
        }
        auto rule = OptionRules().find(name);
        if (rule == OptionRules().end())
            throw ESimUsage(name.rfind("-", 0) == 0 ? Format("unknown option %s", name)
                                                    : Format("unexpected argument '%s'", name));
        if (rule->second.takesValue && !inlineValue) {
            if (i + 1 >= arguments.size())
                throw ESimUsage(Format("%s needs a value", name));
            value = arguments[++i];
        } else if (!rule->second.takesValue && inlineValue) {
            throw ESimUsage(Format("%s takes no value", name));
        }
        rule->second.handler(options, name, value);
    }
    if (options.config.resetState && options.config.stateFolder.empty())
        throw ESimUsage("--fresh needs --state");
    return options;
}

std::string HelpText() {
    return R"(Usage: velksim [OPTION]...
Plays a satellite decoder at the far end of a serial line, for velklink and its
tools when no decoder is at hand. It creates a pseudo-terminal (or opens a real
serial device), prints one line naming the device to open, and serves the
decoder's serial protocol until interrupted (Ctrl-C, SIGTERM).

The decoder holds 30 record slots of 64 KiB of flash from 0x34020000, an 8 KiB
EEPROM and the last firmware image. A fresh state is a small demo decoder: the
EEPROM's slot table admits every slot but slot 29, and slot 0 holds the
settings record "SET" with its item "SET".

Line and state:
  --state DIR       keep the decoder's memory in DIR (flash.bin, eeprom.bin,
                    firmware.bin), created with the demo decoder when empty and
                    saved atomically after every accepted write; without it the
                    memory lives only as long as the program
  --fresh           with --state: start again from the demo decoder
  --link PATH       make PATH a symbolic link to the line (the library opens
                    PATH); removed again at the end
  --device DEV      serve on the serial device DEV instead of a pseudo-terminal
  --baud N          pace the line to N baud, 8N1 (10 bits a byte), so transfers
                    take as long as on a real cable; unpaced by default. With
                    --device: the device's speed (default 115200)
  --adapter-latency MS
                    play a USB serial adapter whose latency timer is MS
                    milliseconds (16 by default on common chips): bytes to the
                    PC are held until 62 are waiting or MS has passed
  --trace           print every packet and request on standard error
  -h, --help        show this text

Faults (RATE is a probability from 0 to 1, decided afresh for each occasion):
  --seed N                 seed of the fault decisions, to replay a run (default 1)
  --corrupt-received RATE  a DATA packet from the PC arrives damaged (NACKed)
  --corrupt-sent RATE      a DATA packet to the PC is damaged on the way
  --corrupt-answers RATE   an ACK or NACK to the PC is damaged on the way
  --drop-answers RATE      an ACK or NACK to the PC is lost
  --nack RATE[:TEXT]       refuse a valid DATA packet with a NACK carrying TEXT
                           (default ERR); the PC resends it without limit
  --nack-next N[:TEXT]     refuse the next N valid DATA packets that way
  --noise RATE[:MAX]       send 1 to MAX (default 16) noise bytes before a packet
  --late MS[:RATE]         send a packet MS milliseconds late (every one, or at RATE)
  --partial RATE[:BYTES]   send only the first BYTES (default: a random part) of
                           a DATA packet
  --partial-answers RATE[:BYTES]
                           the same for an ACK or NACK
  --stop-after N           answer nothing after N transmissions from the PC
  --hang-up-after BYTES    hang up the line once BYTES bytes have crossed it in
                           either direction since the PC opened it (in the
                           middle of a packet or of a write), and end
  --hang-up-after-transmissions N
                           hang up the line after serving N transmissions, and end
  --swallow RATE[:KINDS]   acknowledge a request but never answer it; KINDS is a
                           comma list of sync, read-flash, read-eeprom,
                           write-flash, write-eeprom, firmware, other, reads,
                           writes, all (default all)
  --refuse-reads RATE      refuse a READ FLASH or READ EEPROM with a NACK
  --refuse-writes RATE     refuse a WRITE FLASH, WRITE EEPROM or FIRMWARE with a NACK
  --short-reads RATE       answer a read with DATA one byte shorter than asked for
  --hostile RATE           answer a request with what a sound decoder never sends:
                           random bytes, a broken or cut packet, a packet of
                           the wrong kind, DATA of the wrong size
  --hostile-packets RATE   send random bytes or a well-formed link packet of the
                           wrong kind (or a wrong packet count or payload
                           length) instead of a link packet

Exit status: 0 after an interrupt, 1 when serving ended otherwise (a hang-up
fault, a line that failed or could not be created), 2 for a bad option or a
state folder that cannot be used.
)";
}

} // namespace velksim
