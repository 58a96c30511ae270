#include "ctloutputfile.h"

#include "ctlerror.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

} // namespace

TOutputFile::TOutputFile(std::string path) : path_(std::move(path)) {
    if (IsStandardOutput())
        return;
    // Not emptied: a file that exists keeps its bytes until the result is
    // there to replace them.
    file_ = TRawFile(path_, TRawFile::TOpen::WriteExisting);
    if (!file_ && errno == ENOENT) {
        file_ = TRawFile(path_, TRawFile::TOpen::CreateNew);
        created_ = file_.Valid();
    }
    if (!file_)
        throw ECtlUsage("Cannot write \"" + path_ + "\": " + Reason(errno));
}

TOutputFile::~TOutputFile() {
    // Closed first: Windows removes no file that is still open.
    file_.Close();
    std::error_code ignored;
    if (created_ && !kept_)
        std::filesystem::remove(path_, ignored);
}

void TOutputFile::Write(std::span<const uint8_t> data) {
    kept_ = true;
    TRawFile standardOutput = IsStandardOutput() ? TRawFile::Standard(stdout) : TRawFile();
    TRawFile &out = IsStandardOutput() ? standardOutput : file_;
    if (!IsStandardOutput() && out.IsRegular() && !out.Truncate())
        throw ECtlFailed("Cannot write \"" + path_ + "\": " + Reason(errno));
    std::size_t done = 0;
    while (done < data.size()) {
        const long n = out.Write(data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw ECtlFailed("Cannot write \"" + path_ + "\": " + Reason(n < 0 ? errno : EIO));
        done += std::size_t(n);
    }
}
