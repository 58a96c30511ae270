// Input files of velkctl, read with a limit: a file (or a device such as
// /dev/zero, or a pipe) that holds more than the command can send is refused
// after limit + 1 bytes instead of being read to its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The file's bytes ("-": standard input's), at most limit of them; ECtlUsage naming the file when it
// cannot be read or holds more than limit bytes (what names whose limit it
// is, such as "a record item").
std::vector<uint8_t> ReadInputFile(const std::string &file, std::size_t limit, const std::string &what);
// The same for a file that must be a regular file: a folder, a device or a
// pipe is refused before it is opened (opening a pipe waits for a writer, and
// a device may never end).
std::vector<uint8_t> ReadRegularFile(const std::string &file, std::size_t limit, const std::string &what);
