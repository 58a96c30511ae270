// Files as descriptors, byte for byte: velkctl reads and writes data files
// exactly (no line-end translation) and hands no descriptor to other programs.
#pragma once

#include <cstdio>
#include <string>

// open(path, flags, mode) with the system's flags for a byte-exact descriptor
// that is not inherited; -1 with errno set on failure.
int OpenRawFile(const std::string &path, int flags, int mode = 0666);
// Shortens the open file to nothing; false with errno set on failure.
bool TruncateRawFile(int fd);
// The descriptor of a standard stream (stdin, stdout), switched to byte-exact
// reading and writing.
int RawStandardStream(std::FILE *stream);
// The device that takes any bytes and keeps none.
const char *NullDevice();
