// POSIX descriptors carry bytes as they are; only close-on-exec is added.
#include "ctlrawfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Flags(TRawFile::TOpen how) {
    switch (how) {
    case TRawFile::TOpen::Read:
        return O_RDONLY;
    case TRawFile::TOpen::WriteExisting:
        return O_WRONLY;
    case TRawFile::TOpen::CreateNew:
        return O_WRONLY | O_CREAT | O_EXCL;
    }
    return O_RDONLY;
}

} // namespace

TRawFile::TRawFile(const std::string &path, TOpen how) : fd_(::open(path.c_str(), Flags(how) | O_CLOEXEC, 0666)) {}

TRawFile TRawFile::Standard(std::FILE *stream) {
    return TRawFile(fileno(stream), false);
}

void TRawFile::Close() {
    if (fd_ >= 0 && owned_)
        ::close(fd_);
    fd_ = -1;
}

long TRawFile::Read(void *data, std::size_t count) {
    return long(::read(fd_, data, count));
}

long TRawFile::Write(const void *data, std::size_t count) {
    return long(::write(fd_, data, count));
}

bool TRawFile::IsRegular() const {
    struct stat info {};
    return ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
}

bool TRawFile::Truncate() {
    return ::ftruncate(fd_, 0) == 0;
}

bool TRawFile::Sync() {
    return ::fsync(fd_) == 0;
}

const char *TRawFile::NullDevice() {
    return "/dev/null";
}
