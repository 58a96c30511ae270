// The C runtime of Windows opens descriptors in text mode (CR LF for every
// LF) and lets child processes inherit them: data files need binary mode and
// no inheritance.
#include "ctlrawfile.h"

#include <fcntl.h>
#include <io.h>

int OpenRawFile(const std::string &path, int flags, int mode) {
    return _open(path.c_str(), flags | _O_BINARY | _O_NOINHERIT, mode);
}

bool TruncateRawFile(int fd) {
    return _chsize(fd, 0) == 0;
}

int RawStandardStream(std::FILE *stream) {
    const int fd = _fileno(stream);
    _setmode(fd, _O_BINARY);
    return fd;
}

const char *NullDevice() {
    return "NUL";
}
