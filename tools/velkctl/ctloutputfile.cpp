#include "ctloutputfile.h"

#include "ctlerror.h"
#include "ctlrawfile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

// A name for the staging file beside target, hidden on POSIX and telling
// which program left it should it survive a power cut.
std::filesystem::path StagingName(const std::filesystem::path &target, uint32_t tag) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".velkctl-%08x.part", tag);
    return target.parent_path() / ("." + target.filename().string() + suffix);
}

void WriteAll(TRawFile &out, std::span<const uint8_t> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const long n = out.Write(data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return;
        }
        done += std::size_t(n);
    }
    errno = 0;
}

} // namespace

TOutputFile::TOutputFile(std::string path) : path_(std::move(path)) {
    if (IsStandardOutput())
        return;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path_, error);
    if (std::filesystem::is_directory(status))
        throw ECtlUsage("Cannot write \"" + path_ + "\": it is a folder");
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        // A device or a pipe has no folder entry to replace: it is written in place.
        if (!TRawFile(path_, TRawFile::TOpen::WriteExisting))
            Fail(path_, errno);
        return;
    }
    std::random_device random;
    for (int attempt = 0; attempt < 100 && staging_.empty(); ++attempt) {
        const std::string name = StagingName(path_, random()).string();
        if (TRawFile(name, TRawFile::TOpen::CreateNew))
            staging_ = name;
        else if (errno != EEXIST)
            Fail(path_, errno);
    }
    if (staging_.empty())
        Fail(path_, EEXIST);
    removal_.emplace(staging_, false);
}

TOutputFile::~TOutputFile() {
    if (!staging_.empty() && !committed_) {
        std::error_code ignored;
        std::filesystem::remove(staging_, ignored);
    }
}

void TOutputFile::Fail(const std::string &path, int error) const {
    throw ECtlUsage("Cannot write \"" + path + "\": " + Reason(error));
}

void TOutputFile::Stage(std::span<const uint8_t> data) {
    // Standard output is the caller's: a file behind it (perhaps opened to
    // append) is neither emptied nor synced, only written to.
    const bool own = !IsStandardOutput();
    TRawFile out = own ? TRawFile(WritePath(), TRawFile::TOpen::WriteExisting) : TRawFile::Standard(stdout);
    if (!out || (own && out.IsRegular() && !out.Truncate()))
        throw ECtlFailed("Cannot write \"" + path_ + "\": " + Reason(errno));
    WriteAll(out, data);
    if (errno != 0)
        throw ECtlFailed("Cannot write \"" + path_ + "\": " + Reason(errno));
    if (own && out.IsRegular() && !out.Sync())
        throw ECtlFailed("Cannot write \"" + path_ + "\": " + Reason(errno));
}

void TOutputFile::Commit() {
    if (staging_.empty() || committed_)
        return;
    // Another writer may have filled the staging file by its path.
    TRawFile written(staging_, TRawFile::TOpen::WriteExisting);
    if (!written || !written.Sync())
        throw ECtlFailed("Cannot write \"" + path_ + "\": " + Reason(errno));
    written.Close();
    std::error_code error;
    std::filesystem::rename(staging_, path_, error);
    if (error)
        throw ECtlFailed("Cannot write \"" + path_ + "\": " + error.message());
    committed_ = true;
    removal_.reset();
}
