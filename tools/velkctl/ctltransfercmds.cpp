// ports, sync, read, write, firmware: the transfer engine's exchanges.
#include "ctlcommands.h"

#include "ctlerror.h"
#include "ctlhexdump.h"
#include "ctlnumbers.h"
#include "screenerror.h"
#include "screenfiles.h"
#include "velkcodepage.h"

#include <cstdio>
#include <iostream>

namespace {

// The largest data a transfer packet carries.
constexpr int64_t MaxTransferLength = 0x7FFFF0;

THLSource SourceOf(const std::string &space) { return space == "eeprom" ? hlsEeprom : hlsFlash; }

uint32_t AddressOf(const std::string &text) {
    return static_cast<uint32_t>(ParseNumber(text, "ADDR", 0, 0xFFFFFFFF));
}

std::string Place(const std::string &space, uint32_t address) {
    char text[48];
    std::snprintf(text, sizeof text, space == "eeprom" ? "EEPROM 0x%04X" : "flash 0x%08X", address);
    return text;
}

} // namespace

TCtlSession OpenSession(const TCtlOptions &options) {
    if (options.Port.empty())
        throw ECtlUsage("No serial port: give --port NAME or set VELK_PORT");
    return TCtlSession(options);
}

std::string Bytes(std::size_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

void Say(const TCtlOptions &options, const std::string &line) {
    if (!options.Quiet)
        std::cout << line << '\n' << std::flush;
}

void PrintError(const std::string &message) {
    std::cerr << "velkctl: " << message << '\n' << std::flush;
}

std::vector<uint8_t> ReadInputFile(const std::string &file) {
    try {
        return ReadWholeFile(file);
    } catch (const EScreenSet &error) {
        throw ECtlUsage(error.what());
    }
}

void WriteOutputFile(const std::string &file, std::span<const uint8_t> data) {
    try {
        WriteWholeFile(file, data);
    } catch (const EScreenSet &error) {
        throw ECtlFailed(error.what());
    }
}

int RunPorts(const TCtlOptions &) {
    for (const std::string &name : ListPorts())
        std::cout << Cp1252ToUtf8(name) << '\n';
    return 0;
}

int RunSync(const TCtlOptions &options) {
    TCtlSession session = OpenSession(options);
    Say(options, Cp1252ToUtf8(session.Sync()));
    return 0;
}

int RunRead(const TCtlOptions &options, const TReadArgs &args) {
    const uint32_t address = AddressOf(args.Address);
    const auto length = static_cast<int32_t>(ParseNumber(args.Length, "LEN", 1, MaxTransferLength));
    TCtlSession session = OpenSession(options);
    const std::vector<uint8_t> data = session.Read(SourceOf(args.Space), address, length);
    // The library hands over whatever DATA answered the request; a decoder
    // that answers with another length has not read what was asked for.
    if (data.size() != std::size_t(length))
        throw ECtlFailed("The decoder answered with " + Bytes(data.size()) + " instead of " +
                         std::to_string(length));
    if (args.Output.empty()) {
        std::cout << HexDump(data, address);
        return 0;
    }
    WriteOutputFile(args.Output, data);
    Say(options, "Read " + Bytes(data.size()) + " from " + Place(args.Space, address) + " into " + args.Output);
    return 0;
}

int RunWrite(const TCtlOptions &options, const TWriteArgs &args) {
    const uint32_t address = AddressOf(args.Address);
    const std::vector<uint8_t> data = ReadInputFile(args.File);
    if (data.empty() || int64_t(data.size()) > MaxTransferLength)
        throw ECtlUsage("\"" + args.File + "\" holds " + Bytes(data.size()) + ": a write takes 1 to " +
                        std::to_string(MaxTransferLength));
    TCtlSession session = OpenSession(options);
    session.Write(args.Space == "eeprom" ? hltEeprom : hltFlash, data, address);
    if (!args.Verify) {
        Say(options, "Wrote " + Bytes(data.size()) + " to " + Place(args.Space, address));
        return 0;
    }
    const std::vector<uint8_t> back =
        session.Read(SourceOf(args.Space), address, static_cast<int32_t>(data.size()));
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
        throw ECtlFailed("Verify failed: " + Bytes(differ) + " of " + std::to_string(data.size()) +
                         " differ, " + detail);
    }
    Say(options, "Wrote and verified " + Bytes(data.size()) + " at " + Place(args.Space, address));
    return 0;
}

int RunFirmware(const TCtlOptions &options, const std::string &file) {
    const std::vector<uint8_t> data = ReadInputFile(file);
    if (data.empty() || int64_t(data.size()) > MaxTransferLength)
        throw ECtlUsage("\"" + file + "\" holds " + Bytes(data.size()) + ": a firmware image takes 1 to " +
                        std::to_string(MaxTransferLength));
    TCtlSession session = OpenSession(options);
    session.Write(hltFirmware, data, 0);
    Say(options, "Sent a firmware image of " + Bytes(data.size()));
    return 0;
}
