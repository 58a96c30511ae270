#include "ctlinputfile.h"

#include "ctlerror.h"
#include "ctlrawfile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

std::vector<uint8_t> ReadInputFile(const std::string &file, std::size_t limit, const std::string &what) {
    const bool standardInput = file == "-";
    std::error_code ignored;
    if (!standardInput && std::filesystem::is_directory(file, ignored))
        throw ECtlUsage("Cannot read \"" + file + "\": it is a folder");
    TRawFile in = standardInput ? TRawFile::Standard(stdin) : TRawFile(file, TRawFile::TOpen::Read);
    if (!in)
        throw ECtlUsage("Cannot read \"" + file + "\": " + std::strerror(errno));
    std::vector<uint8_t> data(limit + 1);
    std::size_t done = 0;
    while (done < data.size()) {
        const long n = in.Read(data.data() + done, data.size() - done);
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

std::vector<uint8_t> ReadRegularFile(const std::string &file, std::size_t limit, const std::string &what) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (!std::filesystem::exists(status))
        throw ECtlUsage("Cannot read \"" + file + "\": " + std::strerror(ENOENT));
    if (!std::filesystem::is_regular_file(status) && !std::filesystem::is_directory(status))
        throw ECtlUsage("Cannot read \"" + file + "\": it is not a regular file (a device or a pipe)");
    return ReadInputFile(file, limit, what);
}
