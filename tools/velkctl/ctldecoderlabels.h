// The labels of the decoders one command names, as each decoder's output
// lines, summary line and the {label} of its paths will show it: the adapter's
// USB serial number where known, else the port's file name ("ttyUSB0", the
// last part of a path), or HOST-PORT for a network port; the second, third ...
// decoder with a label already given gets "-2", "-3" ... after it.
//
// A label becomes part of file names, and a USB device chooses its own serial
// number: every character that a file name cannot hold on Linux or Windows
// (path separators, ":", "*", "?", quotes, "<", ">", "|", control characters)
// becomes "_", and so does a label of dots alone ("..").
#pragma once

#include "ctlportinfo.h"

#include <string>
#include <vector>

// One label per port, in the ports' order, no two the same.
std::vector<std::string> DecoderLabels(const std::vector<TPortInfo> &ports);

// The port's own part of a label: its file name or HOST-PORT, safe as above.
std::string PortLabel(const TPortInfo &port);

// text with the characters a file name cannot hold made "_", as above (and
// nothing at all made "port").
std::string FileSafe(std::string text);
