#include "ctlcommandtable.h"

#include "ctlerror.h"
#include "ctlportinfo.h"
#include "ctlportselector.h"
#include "screenresources.h"

#include <algorithm>

namespace {

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

// An output that may be empty (a hex dump on standard output) or "-"
// (standard output, which several decoders cannot share).
std::vector<TPathArgument> OutputPath(std::string &value) {
    if (value.empty())
        return {};
    return {{"-o", &value, true}};
}

} // namespace

TCommandLine::TCommandLine()
    : App("Talks to a satellite decoder on a serial port: transfers, records, screen sets.\n"
          "Numbers may be decimal or hexadecimal after 0x. Exit codes: 0 done, 1 the operation\n"
          "failed, 2 a usage error or a bad argument.",
          "velkctl"),
      settingsFile_(SettingsDumpFileName) {
    App.require_subcommand(1);
    App.fallthrough();
    App.set_version_flag("--version", VersionText());
    AddOptions();
    AddCommands();
}

void TCommandLine::AddOptions() {
    App.add_option("--port", Ports,
                   PortNameHelp() + "; or " + TPortSelector::Help() +
                       ". Repeat it, or use a selector matching several, to run the command on several "
                       "decoders at once")
        ->envname("VELK_PORT")
        ->take_all()
        ->allow_extra_args(false);
    App.add_option("--jobs", Jobs, "With several decoders, how many run at a time (default: all)")
        ->check(CLI::Range(1, 1000));
    App.add_flag("--json", Json,
                 "The summary of the run, per decoder, as one JSON document on standard output (also for one decoder)");
    App.add_option("--trace", trace_, "Protocol log lines on standard error")
        ->check(CLI::IsMember({"link", "transfer", "all"}));
    App.add_flag("-q,--quiet", Options.Quiet, "Print only data and errors");
    App.add_flag("--no-progress", noProgress_, "No progress bar on standard error");
    App.add_flag("-v,--verbose", Options.Verbose, "Say on standard error when an exchange is tried again");
    App.add_option("--retries", Options.Retries,
                   "Try a failed exchange again up to N times (0: never); refusals and firmware uploads "
                   "are not tried again")
        ->capture_default_str()
        ->check(CLI::Range(0, 100));
}

void TCommandLine::AddCommands() {
    const auto add = [this](CLI::App *app, std::function<int()> run,
                            std::function<std::vector<TPathArgument>()> paths = {}) -> TCtlCommand & {
        commands_.push_back(
            {app, std::move(run), paths ? std::move(paths) : [] { return std::vector<TPathArgument>{}; }});
        return commands_.back();
    };
    const TCtlOptions &options = Options;

    auto *ports = App.add_subcommand("ports", "List the serial ports of this machine with what the system knows");
    ports->add_flag("--json", portsJson_, "Every port as JSON");
    add(ports, [this, &options] { return RunPorts(options, portsJson_); }).TalksToDecoder = false;

    add(App.add_subcommand("sync", "Synchronise with the decoder"), [&options] { return RunSync(options); });

    auto *read = App.add_subcommand("read", "Read decoder flash or EEPROM (hex dump without -o)");
    read->add_option("SPACE", read_.Space, "flash or eeprom")->required()->check(CLI::IsMember({"flash", "eeprom"}));
    read->add_option("ADDR", read_.Address, "Start address")->required();
    read->add_option("LEN", read_.Length, "Number of bytes")->required();
    read->add_option("-o,--output", read_.Output, "Write the bytes into this file (- for standard output)");
    read->add_flag("--force", read_.Force, "Send a range outside the record area or the EEPROM anyway");
    add(
        read, [this, &options] { return RunRead(options, read_); }, [this] { return OutputPath(read_.Output); });

    auto *write = App.add_subcommand("write", "Write a file into decoder flash or EEPROM");
    write->add_option("SPACE", write_.Space, "flash or eeprom")->required()->check(CLI::IsMember({"flash", "eeprom"}));
    write->add_option("ADDR", write_.Address, "Start address")->required();
    write->add_option("FILE", write_.File, "The bytes to write")->required();
    write->add_flag("--verify", write_.Verify, "Read the bytes back and compare");
    write->add_flag("--force", write_.Force,
                    "Send a write the decoder is known to refuse (not at a slot's start, longer than a slot, "
                    "past the EEPROM's end) anyway");
    add(
        write, [this, &options] { return RunWrite(options, write_); },
        [this] {
            return std::vector<TPathArgument>{{"FILE", &write_.File, false}};
        });

    auto *firmware = App.add_subcommand("firmware", "Upload a firmware image");
    firmware->add_option("FILE", firmware_, "The image")->required();
    add(
        firmware, [this, &options] { return RunFirmware(options, firmware_); },
        [this] {
            return std::vector<TPathArgument>{{"FILE", &firmware_, false}};
        });

    auto *records = App.add_subcommand("records", "List the record directory");
    records->add_flag("--full", records_.Full, "Read every record completely, not only the item tables");
    records->add_flag("--json", records_.Json, "Every slot as JSON");
    add(records, [this, &options] { return RunRecords(options, records_); });

    auto *get = App.add_subcommand("get", "Load an item of a record (hex dump without -o)");
    get->add_option("RECORD", get_.Record, "Record name")->required();
    get->add_option("ITEM", get_.Item, "Item name")->required();
    get->add_option("-o,--output", get_.File, "Write the item into this file (- for standard output)");
    add(
        get, [this, &options] { return RunGet(options, get_); }, [this] { return OutputPath(get_.File); });

    auto *put = App.add_subcommand(
        "put", "Save files as items of a record (each replacing one of that name), in one write of the record");
    put->add_option("RECORD", put_.Record, "Record name")->required();
    put->add_option("ITEM_FILE", put_.Pairs, "ITEM FILE [ITEM FILE ...]: item names, each with the file of its bytes")
        ->required()
        ->expected(1, -1);
    add(
        put, [this, &options] { return RunPut(options, put_); },
        [this] {
            std::vector<TPathArgument> files;
            for (std::size_t i = 1; i < put_.Pairs.size(); i += 2)
                files.push_back({"FILE", &put_.Pairs[i], false});
            return files;
        });

    auto *rm = App.add_subcommand("rm", "Delete an item of a record and save the record");
    rm->add_option("RECORD", remove_.Record, "Record name")->required();
    rm->add_option("ITEM", remove_.Item, "Item name")->required();
    add(rm, [this, &options] { return RunRemove(options, remove_); });

    auto *rmRecord = App.add_subcommand("rmrecord", "Delete a whole record, valid or damaged, freeing its slot");
    rmRecord->add_option("RECORD", removeRecord_.Record, "Record name")->required();
    rmRecord->add_option("--slot", removeRecord_.Slot, "The slot of the record, when several carry its name");
    add(rmRecord, [this, &options] { return RunRemoveRecord(options, removeRecord_); });

    auto *backup = App.add_subcommand("backup", "Copy the whole record area and the EEPROM into a folder");
    backup->add_option("DIR", backup_.Folder, "Folder for flash.bin, eeprom.bin, backup.json")->required();
    backup->add_flag("--force", backup_.Force, "Replace a backup the folder holds already");
    add(
        backup, [this, &options] { return RunBackup(options, backup_); },
        [this] {
            return std::vector<TPathArgument>{{"DIR", &backup_.Folder, true}};
        });

    auto *restore = App.add_subcommand(
        "restore", "Show what a backup would change in the decoder; with --yes, write those changes");
    restore->add_option("DIR", restore_.Folder, "Folder of a backup")->required();
    restore->add_flag("--yes", restore_.Yes, "Write the changes");
    // One backup is never written into several decoders by accident: with
    // --yes each decoder needs a folder of its own.
    add(
        restore, [this, &options] { return RunRestore(options, restore_); },
        [this] {
            return std::vector<TPathArgument>{{"DIR", &restore_.Folder, restore_.Yes}};
        });

    auto *verify = App.add_subcommand("verify", "Compare the decoder with a backup without writing anything");
    verify->add_option("DIR", verifyFolder_, "Folder of a backup")->required();
    add(
        verify, [this, &options] { return RunVerify(options, verifyFolder_); },
        [this] {
            return std::vector<TPathArgument>{{"DIR", &verifyFolder_, false}};
        });

    auto *upload = App.add_subcommand("upload-screens",
                                      "Upload a screen set into record \"pictures\" with its settings item \"ini\"");
    for (const TScreenResource &resource : ScreenResources())
        upload->add_option("--" + OptionName(resource.Caption), upload_.Files[std::size_t(resource.Index)],
                           "File sent as item " + std::string(resource.ItemName));
    upload->add_option("--size", upload_.Size, "Picture origin and size X,Y,W,H (each 0 to 32767)");
    upload->add_flag("--settings-only", upload_.SettingsOnly, "Upload the settings item \"ini\" alone");
    add(
        upload, [this, &options] { return RunUploadScreens(options, upload_); },
        [this] {
            std::vector<TPathArgument> files;
            for (std::string &file : upload_.Files)
                if (!file.empty())
                    files.push_back({"FILE", &file, false});
            return files;
        });

    auto *dump = App.add_subcommand("dump-settings", "Copy the settings item \"SET\" of record \"SET\" into a file");
    dump->add_option("-o,--output", settingsFile_, "The file (- for standard output)")->capture_default_str();
    add(
        dump, [this, &options] { return RunDumpSettings(options, settingsFile_); },
        [this] { return OutputPath(settingsFile_); });
}

std::string TCommandLine::UnknownCommand(int argc, char **argv) const {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--")
            return {};
        if (word.rfind("-", 0) == 0) {
            // An option written apart from its value takes the next word.
            if (const CLI::Option *option = App.get_option_no_throw(word);
                option != nullptr && option->get_expected_min() > 0 && word.find('=') == std::string::npos)
                ++i;
            continue;
        }
        for (const TCtlCommand &command : commands_)
            if (command.App->check_name(word))
                return {};
        return word;
    }
    return {};
}

void TCommandLine::Parse(int argc, char **argv) {
    if (const std::string unknown = UnknownCommand(argc, argv); !unknown.empty())
        throw ECtlUsage("unknown command: " + unknown);
    App.parse(argc, argv);
    Options.TraceLink = trace_ == "link" || trace_ == "all";
    Options.TraceTransfer = trace_ == "transfer" || trace_ == "all";
    Options.Progress = !noProgress_;
}

const TCtlCommand &TCommandLine::Chosen() const {
    for (const TCtlCommand &command : commands_)
        if (command.App->parsed())
            return command;
    throw ECtlUsage("no command given");
}
