#include "ctloutputfile.h"

#include "ctlerror.h"
#include "ctlrawfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

} // namespace

TOutputFile::TOutputFile(std::string path) : path_(std::move(path)) {
    if (IsStandardOutput())
        return;
    // Without O_TRUNC: a file that exists keeps its bytes until the result is
    // there to replace them.
    int fd = OpenRawFile(path_, O_WRONLY);
    if (fd < 0 && errno == ENOENT) {
        fd = OpenRawFile(path_, O_WRONLY | O_CREAT | O_EXCL);
        created_ = fd >= 0;
    }
    if (fd < 0)
        throw ECtlUsage("Cannot write \"" + path_ + "\": " + Reason(errno));
    fd_.Reset(fd);
}

TOutputFile::~TOutputFile() {
    // Closed first: Windows removes no file that is still open.
    fd_.Reset();
    if (created_ && !kept_)
        ::unlink(path_.c_str());
}

void TOutputFile::Write(std::span<const uint8_t> data) {
    kept_ = true;
    const int fd = IsStandardOutput() ? RawStandardStream(stdout) : fd_.Get();
    struct stat info {};
    if (!IsStandardOutput() && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && !TruncateRawFile(fd))
        throw ECtlFailed("Cannot write \"" + path_ + "\": " + Reason(errno));
    std::size_t done = 0;
    while (done < data.size()) {
        const auto n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw ECtlFailed("Cannot write \"" + path_ + "\": " + Reason(n < 0 ? errno : EIO));
        done += std::size_t(n);
    }
}
