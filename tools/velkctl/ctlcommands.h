// velkctl's commands. Each runs on its own session (one decoder, one port),
// prints its result on standard output (status lines only without --quiet)
// and returns the process's exit code; failures are raised as ECtlUsage,
// ECtlFailed or the library's EVelk and turned into exit codes by main.
#pragma once

#include "ctlsession.h"

#include <array>
#include <string>

struct TReadArgs {
    std::string Space; // "flash" or "eeprom"
    std::string Address;
    std::string Length;
    std::string Output;
};
struct TWriteArgs {
    std::string Space;
    std::string Address;
    std::string File;
    bool Verify = false;
};
struct TItemArgs {
    std::string Record;
    std::string Item;
    std::string File; // get: output (empty: hex dump); put: input
};
struct TRecordsArgs {
    bool Full = false;
    bool Json = false;
};
struct TRestoreArgs {
    std::string Folder;
    bool Yes = false;
};
struct TUploadArgs {
    std::array<std::string, 6> Files; // by resource row; empty: not sent
    std::string Size;                 // "X,Y,W,H"; empty: size values not set
};

int RunPorts(const TCtlOptions &options);
int RunSync(const TCtlOptions &options);
int RunRead(const TCtlOptions &options, const TReadArgs &args);
int RunWrite(const TCtlOptions &options, const TWriteArgs &args);
int RunFirmware(const TCtlOptions &options, const std::string &file);

int RunRecords(const TCtlOptions &options, const TRecordsArgs &args);
int RunGet(const TCtlOptions &options, const TItemArgs &args);
int RunPut(const TCtlOptions &options, const TItemArgs &args);
int RunRemove(const TCtlOptions &options, const TItemArgs &args);

int RunBackup(const TCtlOptions &options, const std::string &folder);
int RunRestore(const TCtlOptions &options, const TRestoreArgs &args);

int RunUploadScreens(const TCtlOptions &options, const TUploadArgs &args);
int RunDumpSettings(const TCtlOptions &options, const std::string &file);

// Shared by the commands.
// A session on the port of the options; ECtlUsage when no port was given.
TCtlSession OpenSession(const TCtlOptions &options);
// Prints a status line on standard output unless --quiet.
void Say(const TCtlOptions &options, const std::string &line);
// "1 byte", "2 bytes".
std::string Bytes(std::size_t n);
// Prints an error (UTF-8) on standard error.
void PrintError(const std::string &message);
// The file's bytes; ECtlUsage naming it when it cannot be read.
std::vector<uint8_t> ReadInputFile(const std::string &file);
// ECtlFailed naming the file when it cannot be written.
void WriteOutputFile(const std::string &file, std::span<const uint8_t> data);
