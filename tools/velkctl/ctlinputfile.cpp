#include "ctlinputfile.h"

#include "ctlerror.h"
#include "velkdescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::vector<uint8_t> ReadInputFile(const std::string &file, std::size_t limit, const std::string &what) {
    TDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        throw ECtlUsage("Cannot read \"" + file + "\": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd.Get(), &info) == 0 && S_ISDIR(info.st_mode))
        throw ECtlUsage("Cannot read \"" + file + "\": it is a folder");
    std::vector<uint8_t> data(limit + 1);
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::read(fd.Get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw ECtlUsage("Cannot read \"" + file + "\": " + std::strerror(errno));
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    if (done > limit)
        throw ECtlUsage("\"" + file + "\" holds more than " + std::to_string(limit) + " bytes, the limit of " + what);
    data.resize(done);
    return data;
}
