// The velksim program's command line: TSimOptions and its parser.
#pragma once

#include "velksim.h"

#include <string>
#include <vector>

namespace velksim {

struct TSimOptions {
    TSimConfig config;
    bool trace = false; // print the packet trace on standard error
    bool help = false;
};

// Parses the arguments after the program name; ESimUsage with a message that
// names the option when one is unknown, lacks its value or has a bad one.
TSimOptions ParseOptions(const std::vector<std::string> &arguments);

// The text of --help.
std::string HelpText();

} // namespace velksim
