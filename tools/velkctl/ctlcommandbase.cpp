#include "ctlcommandbase.h"

#include "CPortRemoteName.h"
#include "ctlbenchchild.h"
#include "ctlerror.h"
#include "ctlprogress.h"
#include "velkcodepage.h"

#include <iostream>

namespace {

void CheckPortName(const TCtlOptions &options) {
    if (options.Port.empty())
        throw ECtlUsage("No serial port: give --port NAME or set VELK_PORT");
    // A malformed remote name is found before anything is contacted.
    if (const auto remote = ParseRemoteName(Utf8ToCp1252(options.Port)); remote && !remote->Error.empty())
        throw ECtlUsage("--port: " + Cp1252ToUtf8(remote->Error));
}

} // namespace

std::unique_ptr<TCtlLink> OpenLink(const TCtlOptions &options) {
    CheckPortName(options);
    return std::make_unique<TCtlLink>(options);
}

std::string Bytes(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

void Say(const TCtlOptions &options, const std::string &line) {
    if (options.Quiet)
        return;
    if (options.StatusToError) {
        HideProgress();
        std::cerr << line << '\n' << std::flush;
    } else {
        std::cout << line << '\n' << std::flush;
    }
}

void PrintError(const std::string &message) {
    HideProgress();
    std::cerr << "velkctl: " << message << '\n' << std::flush;
    WriteBenchRecord(BenchFailureRecord, message);
}
