// velkctl's command line: the options every command takes and the table of
// commands, each a CLI11 subcommand with the function that runs it and the
// paths it takes. The table is the dispatch: main runs the one command parsed.
#pragma once

#include "ctlcommands.h"
#include "ctloptions.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

// A file or folder a command names. Each may hold the placeholders of
// ctldecoderpaths.h; one a command writes must be each decoder's own when it
// runs on several.
struct TPathArgument {
    std::string What; // as the usage names it: "-o", "DIR", "FILE"
    std::string *Value = nullptr;
    bool PerDecoder = false;
};

struct TCtlCommand {
    CLI::App *App = nullptr;
    std::function<int()> Run;
    // The paths the parsed command names (known once parsed: put's files).
    std::function<std::vector<TPathArgument>()> Paths;
    bool TalksToDecoder = true; // false: ports, which lists this machine's ports
};

class TCommandLine {
public:
    TCommandLine();
    TCommandLine(const TCommandLine &) = delete;
    TCommandLine &operator=(const TCommandLine &) = delete;

    // Parses the arguments: ECtlUsage for an unknown command, and CLI11's
    // errors as they are (help and version included).
    void Parse(int argc, char **argv);
    // The command parsed.
    const TCtlCommand &Chosen() const;

    TCtlOptions Options;
    // Every --port given (or VELK_PORT), selectors unresolved.
    std::vector<std::string> Ports;
    // How many decoders run at a time (0: all).
    int Jobs = 0;
    // The summary of a run on several decoders as one JSON document.
    bool Json = false;
    CLI::App App;

private:
    void AddOptions();
    void AddCommands();
    // The first word that is neither an option, an option's value nor a command.
    std::string UnknownCommand(int argc, char **argv) const;

    std::string trace_;
    bool noProgress_ = false;
    std::vector<TCtlCommand> commands_;

    bool portsJson_ = false;
    TReadArgs read_;
    TWriteArgs write_;
    std::string firmware_;
    TRecordsArgs records_;
    TItemArgs get_;
    TPutArgs put_;
    TItemArgs remove_;
    TRemoveRecordArgs removeRecord_;
    TBackupArgs backup_;
    TRestoreArgs restore_;
    std::string verifyFolder_;
    TUploadArgs upload_;
    std::string settingsFile_;
};
