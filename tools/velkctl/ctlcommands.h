// velkctl's commands. Each runs on its own session (one decoder, one port),
// prints its result on standard output (status lines only without --quiet)
// and returns the process's exit code; failures are raised as ECtlUsage or
// ECtlFailed and turned into exit codes by main.
#pragma once

#include "ctlcommandbase.h"
#include "ctllink.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

struct TReadArgs {
    std::string Space; // "flash" or "eeprom"
    std::string Address;
    std::string Length;
    std::string Output; // empty: hex dump; "-": the bytes on standard output
    bool Force = false; // send a range the decoder is known to refuse
};
struct TWriteArgs {
    std::string Space;
    std::string Address;
    std::string File;
    bool Verify = false;
    bool Force = false;
};
struct TItemArgs {
    std::string Record;
    std::string Item;
    std::string File; // get: output (empty: hex dump; "-": standard output)
};
struct TPutArgs {
    std::string Record;
    std::vector<std::string> Pairs; // ITEM FILE [ITEM FILE ...]
};
struct TRemoveRecordArgs {
    std::string Record;
    std::string Slot; // empty: the one slot holding the record
};
struct TRecordsArgs {
    bool Full = false;
    bool Json = false;
};
struct TBackupArgs {
    std::string Folder;
    bool Force = false; // replace a backup in the folder
};
struct TRestoreArgs {
    std::string Folder;
    bool Yes = false;
};
struct TUploadArgs {
    std::array<std::string, 6> Files; // by resource row; empty: not sent
    std::string Size;                 // "X,Y,W,H"; empty: size values not set
    bool SettingsOnly = false;        // upload the settings item alone
};

int RunPorts(const TCtlOptions &options, bool json);
int RunSync(const TCtlOptions &options);
int RunRead(const TCtlOptions &options, const TReadArgs &args);
int RunWrite(const TCtlOptions &options, const TWriteArgs &args);
int RunFirmware(const TCtlOptions &options, const std::string &file);

int RunRecords(const TCtlOptions &options, const TRecordsArgs &args);
int RunGet(const TCtlOptions &options, const TItemArgs &args);
int RunPut(const TCtlOptions &options, const TPutArgs &args);
int RunRemove(const TCtlOptions &options, const TItemArgs &args);
// Frees the slot of a record, valid or damaged.
int RunRemoveRecord(const TCtlOptions &options, const TRemoveRecordArgs &args);

int RunBackup(const TCtlOptions &options, const TBackupArgs &args);
int RunRestore(const TCtlOptions &options, const TRestoreArgs &args);
// Compares the decoder with a backup without writing: 0 when they are the
// same, 1 listing what differs.
int RunVerify(const TCtlOptions &options, const std::string &folder);

int RunUploadScreens(const TCtlOptions &options, const TUploadArgs &args);
int RunDumpSettings(const TCtlOptions &options, const std::string &file);

// Shared by the record and screen-set commands.
// Warns on standard error of each damaged record of that name (UTF-8), which
// a save of the name does not use.
void WarnDamagedNamesakes(TCtlLink &link, const std::string &name);
// ECtlFailed when the slot a save of the record wrote (the sound record of
// that name) has no slot flag in the EEPROM: the record is not found after
// the next refresh.
void CheckSavedSlot(TCtlLink &link, const std::string &name);
