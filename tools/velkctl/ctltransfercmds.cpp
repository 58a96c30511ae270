// ports, sync, read, write, firmware: the transfer engine's exchanges.
#include "ctlcommands.h"

#include "ctlchecks.h"
#include "ctlerror.h"
#include "ctlhexdump.h"
#include "ctlinputfile.h"
#include "ctlnumbers.h"
#include "ctloutputfile.h"
#include "ctlportinfo.h"
#include "ctlprogress.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

namespace {

// The largest data a transfer packet carries.
constexpr int64_t MaxTransferLength = VELK_MAX_TRANSFER;

TCtlSpace SpaceOf(const std::string &space) {
    return space == "eeprom" ? TCtlSpace::Eeprom : TCtlSpace::Flash;
}

uint32_t AddressOf(const std::string &text) {
    return static_cast<uint32_t>(ParseNumber(text, "ADDR", 0, 0xFFFFFFFF));
}

std::string Place(const std::string &space, uint32_t address) {
    char text[48];
    std::snprintf(text, sizeof text, space == "eeprom" ? "EEPROM 0x%04X" : "flash 0x%08X", address);
    return text;
}

// The most a write may send: what the decoder takes, or with --force what a
// transfer packet carries.
std::size_t WriteLimit(const std::string &space, bool force) {
    if (force)
        return std::size_t(MaxTransferLength);
    return space == "eeprom" ? std::size_t(kEepromSize) : std::size_t(kRecordSlotSize);
}

} // namespace

int RunPorts(const TCtlOptions &, bool json) {
    const std::vector<TPortInfo> ports = DescribePorts();
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const TPortInfo &port : ports)
            list.push_back(PortJson(port));
        std::cout << list.dump(2) << '\n';
        return 0;
    }
    for (const TPortInfo &port : ports)
        std::cout << PortText(port);
    return 0;
}

int RunSync(const TCtlOptions &options) {
    const auto link = OpenLink(options);
    Say(options, link->Sync());
    return 0;
}

int RunRead(const TCtlOptions &givenOptions, const TReadArgs &args) {
    const uint32_t address = AddressOf(args.Address);
    const auto length = static_cast<int32_t>(ParseNumber(args.Length, "LEN", 1, MaxTransferLength));
    if (!args.Force)
        CheckRange(args.Space, address, length, false);
    std::optional<TOutputFile> output;
    if (!args.Output.empty())
        output.emplace(args.Output);
    TCtlOptions options = givenOptions;
    options.StatusToError = !output || output->IsStandardOutput();
    const auto link = OpenLink(options);
    const std::vector<uint8_t> data = link->Read(SpaceOf(args.Space), address, uint32_t(length));
    if (!output) {
        std::cout << HexDump(data, address);
        return 0;
    }
    output->Write(data);
    Say(options, "Read " + Bytes(data.size()) + " from " + Place(args.Space, address) + " into " + args.Output);
    return 0;
}

int RunWrite(const TCtlOptions &options, const TWriteArgs &args) {
    const uint32_t address = AddressOf(args.Address);
    const std::vector<uint8_t> data =
        ReadInputFile(args.File, WriteLimit(args.Space, args.Force),
                      args.Force ? "a transfer" : "a write of " + args.Space + " (--force sends more)");
    if (data.empty())
        throw ECtlUsage("\"" + args.File + "\" is empty: a write takes at least 1 byte");
    if (!args.Force)
        CheckRange(args.Space, address, int64_t(data.size()), true);
    const auto link = OpenLink(options);
    link->Write(args.Space == "eeprom" ? TCtlTarget::Eeprom : TCtlTarget::Flash, data, address);
    if (!args.Verify) {
        Say(options, "Wrote " + Bytes(data.size()) + " to " + Place(args.Space, address));
        return 0;
    }
    const std::vector<uint8_t> back = link->Read(SpaceOf(args.Space), address, static_cast<uint32_t>(data.size()));
    std::size_t differ = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < data.size(); ++i)
        if (i >= back.size() || back[i] != data[i])
            if (differ++ == 0)
                first = i;
    if (differ > 0) {
        char detail[96];
        if (first < back.size())
            std::snprintf(detail, sizeof detail, "first at 0x%08X: wrote %02X, read %02X",
                          static_cast<uint32_t>(address + first), data[first], back[first]);
        else
            std::snprintf(detail, sizeof detail, "only %zu bytes came back", back.size());
        throw ECtlFailed("Verify failed: " + Bytes(differ) + " of " + std::to_string(data.size()) + " differ, " +
                         detail);
    }
    Say(options, "Wrote and verified " + Bytes(data.size()) + " at " + Place(args.Space, address));
    return 0;
}

int RunFirmware(const TCtlOptions &options, const std::string &file) {
    const std::vector<uint8_t> data = ReadInputFile(file, std::size_t(MaxTransferLength), "a firmware image");
    if (data.empty())
        throw ECtlUsage("\"" + file + "\" is empty: a firmware image takes at least 1 byte");
    const auto link = OpenLink(options);
    link->Write(TCtlTarget::Firmware, data, 0);
    Say(options, "Sent a firmware image of " + Bytes(data.size()));
    return 0;
}
