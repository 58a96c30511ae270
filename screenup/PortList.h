// The entries of the main window's port list: "COM1" to "COM4", then the
// system's serial ports as the library lists them, with the port asked for on
// the command line moved (or added) first. Texts in UTF-16.
#pragma once

#include <string>
#include <vector>

std::vector<std::u16string> PortListEntries(const std::u16string &first);
