#include "ctlcommandbase.h"

#include "ctlbenchchild.h"
#include "ctlerror.h"
#include "ctlprogress.h"
#include "velklink.h"

#include <iostream>

namespace {

void CheckPortName(const TCtlOptions &options) {
    if (options.Port.empty())
        throw ECtlUsage("No serial port: give --port NAME or set VELK_PORT");
    // A name the library cannot pass to the system is named as it was given
    // (the library's message shows it as Windows-1252 would hold it).
    uint32_t length = 0;
    if (velk_stored_length(options.Port.c_str(), &length) != VELK_OK)
        throw ECtlUsage("--port: \"" + options.Port + "\" has characters that Windows-1252 cannot hold");
    // A malformed remote name is found before anything is contacted.
    if (velk_check_port_name(options.Port.c_str(), nullptr) != VELK_OK)
        throw ECtlUsage(std::string("--port: ") + velk_message(nullptr));
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
