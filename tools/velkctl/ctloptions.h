// TCtlOptions: the options every command that talks to the decoder takes.
#pragma once

#include <string>

struct TCtlOptions {
    std::string Port;
    bool TraceLink = false;
    bool TraceTransfer = false;
    bool Quiet = false;
    bool Progress = true;
    bool Verbose = false;
    // Status lines go to standard error: the command's data go to standard output.
    bool StatusToError = false;
    // How often a failed exchange is tried again (0: never).
    int Retries = 3;
};
