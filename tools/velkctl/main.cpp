// velkctl: every operation of the decoder toolkit as one command, for scripts
// and machines without a display. See --help.
#include "ctlbenchchild.h"
#include "ctlbenchrun.h"
#include "ctlcommandbase.h"
#include "ctlcommandtable.h"
#include "ctlconsole.h"
#include "ctldecoderpaths.h"
#include "ctlerror.h"
#include "ctlinterrupt.h"
#include "ctlportinfo.h"
#include "ctlportselector.h"

#include <iostream>
#include <set>

namespace {

// The ports every --port names, selectors resolved, each once.
std::vector<TPortInfo> NamedPorts(const std::vector<std::string> &given) {
    std::vector<TPortInfo> ports;
    std::set<std::string> seen;
    for (const std::string &text : given) {
        for (TPortInfo &port : TPortSelector().Resolve(text)) {
            port.Device = PortArgument(port.Device);
            if (seen.insert(port.Device).second)
                ports.push_back(std::move(port));
        }
    }
    if (ports.empty())
        throw ECtlUsage("No serial port: give --port NAME or set VELK_PORT");
    return ports;
}

// The command's paths made the decoder's own.
void UsePaths(const TCtlCommand &command, const TDecoderName &decoder) {
    for (const TPathArgument &path : command.Paths())
        *path.Value = DecoderPath(*path.Value, decoder, path.What);
}

int Run(int argc, char **argv) {
    TCommandLine line;
    try {
        line.Parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        const int code = line.App.exit(error);
        return code == 0 ? 0 : ExitUsage;
    }
    const TCtlCommand &command = line.Chosen();
    if (!command.TalksToDecoder)
        return command.Run();

    // One decoder of a run on several: its port, its paths, records for the
    // process that runs it.
    if (const std::optional<TBenchChild> child = BenchChildFromEnvironment()) {
        SetBenchRecords(true);
        line.Options.Port = child->Decoder.Port.Device;
        line.Options.Progress = child->Progress;
        UsePaths(command, child->Decoder);
        return command.Run();
    }

    const std::vector<TDecoderName> decoders = NameDecoders(NamedPorts(line.Ports));
    if (decoders.size() == 1 && !line.Json) {
        line.Options.Port = decoders.front().Port.Device;
        UsePaths(command, decoders.front());
        return command.Run();
    }
    // Every path is each decoder's own before any port opens.
    for (const TPathArgument &path : command.Paths())
        if (path.PerDecoder)
            DecoderPaths(*path.Value, decoders, path.What);
        else
            for (const TDecoderName &decoder : decoders)
                DecoderPath(*path.Value, decoder, path.What);

    TBenchSettings settings;
    settings.Arguments.assign(argv, argv + argc);
    settings.Jobs = line.Jobs;
    settings.Json = line.Json;
    settings.Quiet = line.Options.Quiet;
    settings.Progress = line.Options.Progress && !line.Options.Quiet && TConsole::IsTerminal(stderr);
    return TBenchRun(decoders, std::move(settings)).Run();
}

} // namespace

int main(int argc, char **argv) {
    const TConsole console;
    TInterrupt::Install();
    try {
        return Run(argc, argv);
    } catch (const ECtlUsage &error) {
        PrintError(error.what());
        return ExitUsage;
    } catch (const ECtlFailed &error) {
        PrintError(error.what());
    } catch (const std::exception &error) {
        PrintError(error.what());
    }
    return ExitFailed;
}
