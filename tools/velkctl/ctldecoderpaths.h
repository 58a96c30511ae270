// The files and folders of a command run on several decoders: a path given
// once may hold placeholders that make it each decoder's own,
//   {label}   the decoder's label (see ctldecoderlabels.h)
//   {port}    its port's file name or HOST-PORT
//   {serial}  its adapter's USB serial number
//   {index}   its place among the decoders named, from 1
// each made safe as a file name. Any other text in braces stays as it is.
// Every path is worked out before any port opens, so a path that two decoders
// would share (one file written twice, one backup folder filled twice) is a
// usage error, never a race between them.
#pragma once

#include "ctlportinfo.h"

#include <string>
#include <vector>

struct TDecoderName {
    TPortInfo Port;
    std::string Label;
    int Index = 1;
};

// The ports with their labels and places, in their order.
std::vector<TDecoderName> NameDecoders(const std::vector<TPortInfo> &ports);

// Whether path holds one of the placeholders.
bool HasDecoderPlaceholder(const std::string &path);

// path for one decoder. Throws ECtlUsage, naming what (such as "DIR" or
// "-o"), when it asks for {serial} of a decoder whose adapter has none.
std::string DecoderPath(const std::string &path, const TDecoderName &decoder, const std::string &what);

// path for each decoder, in their order. Throws ECtlUsage, naming what and the
// decoders, when two of them would get the same path.
std::vector<std::string> DecoderPaths(const std::string &path, const std::vector<TDecoderName> &decoders,
                                      const std::string &what);
