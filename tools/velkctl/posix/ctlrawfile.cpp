// POSIX descriptors carry bytes as they are; only close-on-exec is added.
#include "ctlrawfile.h"

#include <fcntl.h>
#include <unistd.h>

int OpenRawFile(const std::string &path, int flags, int mode) {
    return ::open(path.c_str(), flags | O_CLOEXEC, mode);
}

bool TruncateRawFile(int fd) {
    return ::ftruncate(fd, 0) == 0;
}

int RawStandardStream(std::FILE *stream) {
    return fileno(stream);
}

const char *NullDevice() {
    return "/dev/null";
}
