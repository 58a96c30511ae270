#include "ctlbenchchild.h"

#include "ctlerror.h"
#include "ctlportinfo.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>

namespace {

bool records = false;

} // namespace

std::string BenchChildVariable(const TDecoderName &decoder, bool progress) {
    const nlohmann::json value = {{"port", decoder.Port.Device},
                                  {"serial", decoder.Port.Serial},
                                  {"label", decoder.Label},
                                  {"index", decoder.Index},
                                  {"progress", progress}};
    return std::string(BenchDecoderVariable) + "=" + value.dump();
}

std::optional<TBenchChild> BenchChildFromEnvironment() {
    const char *text = std::getenv(BenchDecoderVariable);
    if (text == nullptr || *text == '\0')
        return std::nullopt;
    try {
        const nlohmann::json value = nlohmann::json::parse(text);
        TBenchChild child;
        child.Decoder.Port.Device = value.at("port").get<std::string>();
        child.Decoder.Port.Serial = value.at("serial").get<std::string>();
        child.Decoder.Label = value.at("label").get<std::string>();
        child.Decoder.Index = value.at("index").get<int>();
        child.Progress = value.at("progress").get<bool>();
        return child;
    } catch (const nlohmann::json::exception &) {
        throw ECtlUsage(std::string(BenchDecoderVariable) + " is malformed: it is set by velkctl for its own runs");
    }
}

void SetBenchRecords(bool on) {
    records = on;
}

bool BenchRecords() {
    return records;
}

void WriteBenchRecord(char kind, const std::string &text) {
    if (!records)
        return;
    std::string line{BenchRecordMark, kind};
    for (const char c : text)
        line += c == '\n' || c == '\r' ? ' ' : c;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
