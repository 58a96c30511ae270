// velkctl: every operation of the decoder toolkit as one command, for scripts
// and machines without a display. See --help.
#include "ctlcommands.h"
#include "ctlconsole.h"
#include "ctlerror.h"
#include "ctlinterrupt.h"
#include "ctlportinfo.h"
#include "ctlportselector.h"
#include "screenresources.h"
#include "velkcodepage.h"
#include "velkerror.h"
#include "velkerrorsink.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <set>

namespace {

// Errors that escape the port's and the timers' handlers, in the convention of
// the library's callbacks (stdcall on 32-bit Windows).
void VELK_CALL ShowLibraryError(const char *text) {
    PrintError(Cp1252ToUtf8(text ? text : ""));
}

// "setup lut" -> "setup-lut".
std::string OptionName(std::string_view caption) {
    std::string name(caption);
    std::replace(name.begin(), name.end(), ' ', '-');
    return name;
}

// velkctl's own version, then the name and version of the library it loaded.
std::string VersionText() {
    return std::string("velkctl " VELKCTL_VERSION "\n") + velk_version();
}

// The first word that is neither an option, an option's value nor a command.
std::string UnknownCommand(CLI::App &app, int argc, char **argv) {
    static const std::set<std::string> withValue = {"--port", "--trace", "--retries"};
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--")
            return {};
        if (word.rfind("-", 0) == 0) {
            if (withValue.count(word) != 0)
                ++i;
            continue;
        }
        for (const CLI::App *command : app.get_subcommands([](CLI::App *) { return true; }))
            if (command->check_name(word))
                return {};
        return word;
    }
    return {};
}

// The one port --port names, a selector resolved. Naming several decoders is
// refused for now, before any of them is opened.
std::string OnePort(const std::string &given) {
    if (!TPortSelector::IsSelector(given))
        return PortArgument(given);
    const std::vector<TPortInfo> ports = TPortSelector().Resolve(given);
    if (ports.size() > 1) {
        std::string names;
        for (const TPortInfo &port : ports)
            names += (names.empty() ? "" : ", ") + port.Device +
                     (port.Serial.empty() ? "" : " (serial " + port.Serial + ")");
        throw ECtlUsage("--port: several decoders matched \"" + given + "\": " + names +
                        "; a command runs on one decoder at a time, so name one of them");
    }
    return PortArgument(ports.front().Device);
}

int Run(int argc, char **argv) {
    CLI::App app{"Talks to a satellite decoder on a serial port: transfers, records, screen sets.\n"
                 "Numbers may be decimal or hexadecimal after 0x. Exit codes: 0 done, 1 the operation\n"
                 "failed, 2 a usage error or a bad argument.",
                 "velkctl"};
    app.require_subcommand(1);
    app.fallthrough();
    app.set_version_flag("--version", VersionText());

    TCtlOptions options;
    std::string trace;
    bool noProgress = false;
    app.add_option("--port", options.Port, PortNameHelp() + "; or " + TPortSelector::Help())->envname("VELK_PORT");
    app.add_option("--trace", trace, "Protocol log lines on standard error")
        ->check(CLI::IsMember({"link", "transfer", "all"}));
    app.add_flag("-q,--quiet", options.Quiet, "Print only data and errors");
    app.add_flag("--no-progress", noProgress, "No progress bar on standard error");
    app.add_flag("-v,--verbose", options.Verbose, "Say on standard error when an exchange is tried again");
    app.add_option("--retries", options.Retries,
                   "Try a failed exchange again up to N times (0: never); refusals and firmware uploads "
                   "are not tried again")
        ->capture_default_str()
        ->check(CLI::Range(0, 100));

    bool portsJson = false;
    auto *ports = app.add_subcommand("ports", "List the serial ports of this machine with what the system knows");
    ports->add_flag("--json", portsJson, "Every port as JSON");
    auto *sync = app.add_subcommand("sync", "Synchronise with the decoder");

    TReadArgs read;
    auto *readCmd = app.add_subcommand("read", "Read decoder flash or EEPROM (hex dump without -o)");
    readCmd->add_option("SPACE", read.Space, "flash or eeprom")->required()->check(CLI::IsMember({"flash", "eeprom"}));
    readCmd->add_option("ADDR", read.Address, "Start address")->required();
    readCmd->add_option("LEN", read.Length, "Number of bytes")->required();
    readCmd->add_option("-o,--output", read.Output, "Write the bytes into this file (- for standard output)");
    readCmd->add_flag("--force", read.Force, "Send a range outside the record area or the EEPROM anyway");

    TWriteArgs write;
    auto *writeCmd = app.add_subcommand("write", "Write a file into decoder flash or EEPROM");
    writeCmd->add_option("SPACE", write.Space, "flash or eeprom")
        ->required()
        ->check(CLI::IsMember({"flash", "eeprom"}));
    writeCmd->add_option("ADDR", write.Address, "Start address")->required();
    writeCmd->add_option("FILE", write.File, "The bytes to write")->required();
    writeCmd->add_flag("--verify", write.Verify, "Read the bytes back and compare");
    writeCmd->add_flag("--force", write.Force,
                       "Send a write the decoder is known to refuse (not at a slot's start, longer than a slot, "
                       "past the EEPROM's end) anyway");

    std::string firmware;
    auto *firmwareCmd = app.add_subcommand("firmware", "Upload a firmware image");
    firmwareCmd->add_option("FILE", firmware, "The image")->required();

    TRecordsArgs records;
    auto *recordsCmd = app.add_subcommand("records", "List the record directory");
    recordsCmd->add_flag("--full", records.Full, "Read every record completely, not only the item tables");
    recordsCmd->add_flag("--json", records.Json, "Every slot as JSON");

    TItemArgs get;
    auto *getCmd = app.add_subcommand("get", "Load an item of a record (hex dump without -o)");
    getCmd->add_option("RECORD", get.Record, "Record name")->required();
    getCmd->add_option("ITEM", get.Item, "Item name")->required();
    getCmd->add_option("-o,--output", get.File, "Write the item into this file (- for standard output)");

    TPutArgs put;
    auto *putCmd = app.add_subcommand(
        "put", "Save files as items of a record (each replacing one of that name), in one write of the record");
    putCmd->add_option("RECORD", put.Record, "Record name")->required();
    putCmd->add_option("ITEM_FILE", put.Pairs, "ITEM FILE [ITEM FILE ...]: item names, each with the file of its bytes")
        ->required()
        ->expected(1, -1);

    TItemArgs remove;
    auto *rmCmd = app.add_subcommand("rm", "Delete an item of a record and save the record");
    rmCmd->add_option("RECORD", remove.Record, "Record name")->required();
    rmCmd->add_option("ITEM", remove.Item, "Item name")->required();

    TRemoveRecordArgs removeRecord;
    auto *rmRecordCmd = app.add_subcommand("rmrecord", "Delete a whole record, valid or damaged, freeing its slot");
    rmRecordCmd->add_option("RECORD", removeRecord.Record, "Record name")->required();
    rmRecordCmd->add_option("--slot", removeRecord.Slot, "The slot of the record, when several carry its name");

    TBackupArgs backup;
    auto *backupCmd = app.add_subcommand("backup", "Copy the whole record area and the EEPROM into a folder");
    backupCmd->add_option("DIR", backup.Folder, "Folder for flash.bin, eeprom.bin, backup.json")->required();
    backupCmd->add_flag("--force", backup.Force, "Replace a backup the folder holds already");

    TRestoreArgs restore;
    auto *restoreCmd = app.add_subcommand(
        "restore", "Show what a backup would change in the decoder; with --yes, write those changes");
    restoreCmd->add_option("DIR", restore.Folder, "Folder of a backup")->required();
    restoreCmd->add_flag("--yes", restore.Yes, "Write the changes");

    std::string verifyFolder;
    auto *verifyCmd = app.add_subcommand("verify", "Compare the decoder with a backup without writing anything");
    verifyCmd->add_option("DIR", verifyFolder, "Folder of a backup")->required();

    TUploadArgs upload;
    auto *uploadCmd = app.add_subcommand("upload-screens",
                                         "Upload a screen set into record \"pictures\" with its settings item \"ini\"");
    for (const TScreenResource &resource : ScreenResources())
        uploadCmd->add_option("--" + OptionName(resource.Caption), upload.Files[std::size_t(resource.Index)],
                              "File sent as item " + std::string(resource.ItemName));
    uploadCmd->add_option("--size", upload.Size, "Picture origin and size X,Y,W,H (each 0 to 32767)");
    uploadCmd->add_flag("--settings-only", upload.SettingsOnly, "Upload the settings item \"ini\" alone");

    std::string settingsFile = std::string(SettingsDumpFileName);
    auto *dumpCmd = app.add_subcommand("dump-settings", "Copy the settings item \"SET\" of record \"SET\" into a file");
    dumpCmd->add_option("-o,--output", settingsFile, "The file (- for standard output)")->capture_default_str();

    if (const std::string unknown = UnknownCommand(app, argc, argv); !unknown.empty())
        throw ECtlUsage("unknown command: " + unknown);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : ExitUsage;
    }
    options.TraceLink = trace == "link" || trace == "all";
    options.TraceTransfer = trace == "transfer" || trace == "all";
    options.Progress = !noProgress;

    if (app.got_subcommand(ports))
        return RunPorts(options, portsJson);
    options.Port = OnePort(options.Port);
    if (app.got_subcommand(sync))
        return RunSync(options);
    if (app.got_subcommand(readCmd))
        return RunRead(options, read);
    if (app.got_subcommand(writeCmd))
        return RunWrite(options, write);
    if (app.got_subcommand(firmwareCmd))
        return RunFirmware(options, firmware);
    if (app.got_subcommand(recordsCmd))
        return RunRecords(options, records);
    if (app.got_subcommand(getCmd))
        return RunGet(options, get);
    if (app.got_subcommand(putCmd))
        return RunPut(options, put);
    if (app.got_subcommand(rmCmd))
        return RunRemove(options, remove);
    if (app.got_subcommand(rmRecordCmd))
        return RunRemoveRecord(options, removeRecord);
    if (app.got_subcommand(backupCmd))
        return RunBackup(options, backup);
    if (app.got_subcommand(restoreCmd))
        return RunRestore(options, restore);
    if (app.got_subcommand(verifyCmd))
        return RunVerify(options, verifyFolder);
    if (app.got_subcommand(uploadCmd))
        return RunUploadScreens(options, upload);
    if (app.got_subcommand(dumpCmd))
        return RunDumpSettings(options, settingsFile);
    return ExitUsage;
}

} // namespace

int main(int argc, char **argv) {
    const TConsole console;
    TInterrupt::Install();
    SetErrorSink(ShowLibraryError);
    try {
        return Run(argc, argv);
    } catch (const ECtlUsage &error) {
        PrintError(error.what());
        return ExitUsage;
    } catch (const ECtlFailed &error) {
        PrintError(error.what());
    } catch (const EVelk &error) {
        PrintError(Cp1252ToUtf8(error.Message()));
    } catch (const std::exception &error) {
        PrintError(error.what());
    }
    return ExitFailed;
}
