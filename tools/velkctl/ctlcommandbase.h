// What every command that talks to the decoder uses: its session, its status
// lines and its error lines.
#pragma once

#include "ctllink.h"
#include "ctloptions.h"

#include <cstddef>
#include <memory>
#include <string>

// A session on the port of the options; ECtlUsage when no port was given or
// a remote name is malformed.
std::unique_ptr<TCtlLink> OpenLink(const TCtlOptions &options);
// Prints a status line unless --quiet: on standard output, or on standard
// error when the command's data go to standard output.
void Say(const TCtlOptions &options, const std::string &line);
// "1 byte", "2 bytes".
std::string Bytes(std::size_t n);
// Prints an error (UTF-8) on standard error, after erasing the progress bar.
void PrintError(const std::string &message);
