// The C runtime of Windows opens descriptors in text mode (CR LF for every
// LF) and lets child processes inherit them: data files need binary mode and
// no inheritance.
#include "ctlrawfile.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace {

int Flags(TRawFile::TOpen how) {
    switch (how) {
    case TRawFile::TOpen::Read:
        return _O_RDONLY;
    case TRawFile::TOpen::WriteExisting:
        return _O_WRONLY;
    case TRawFile::TOpen::CreateNew:
        return _O_WRONLY | _O_CREAT | _O_EXCL;
    }
    return _O_RDONLY;
}

// One call of the C runtime moves at most INT_MAX bytes.
unsigned int Chunk(std::size_t count) {
    return unsigned(std::min<std::size_t>(count, INT_MAX));
}

} // namespace

TRawFile::TRawFile(const std::string &path, TOpen how)
    : fd_(_open(path.c_str(), Flags(how) | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE)) {}

TRawFile TRawFile::Standard(std::FILE *stream) {
    const int fd = _fileno(stream);
    _setmode(fd, _O_BINARY);
    return TRawFile(fd, false);
}

void TRawFile::Close() {
    if (fd_ >= 0 && owned_)
        _close(fd_);
    fd_ = -1;
}

long TRawFile::Read(void *data, std::size_t count) {
    return _read(fd_, data, Chunk(count));
}

long TRawFile::Write(const void *data, std::size_t count) {
    return _write(fd_, data, Chunk(count));
}

bool TRawFile::IsRegular() const {
    struct _stat64 info {};
    return _fstat64(fd_, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
}

bool TRawFile::Truncate() {
    const errno_t error = _chsize_s(fd_, 0);
    if (error != 0)
        errno = error;
    return error == 0;
}

bool TRawFile::Sync() {
    return _commit(fd_) == 0;
}

const char *TRawFile::NullDevice() {
    return "NUL";
}
