#include "screenfiles.h"

#include "screenerror.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct TFileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

// Opens path as the system names files: Windows' names are UTF-16, reached
// through the wide form of fopen.
std::FILE *Open(const std::filesystem::path &path, const char *mode) {
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    return ::_wfopen(path.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

[[noreturn]] void Fail(const char *what, const std::filesystem::path &path, int error) {
    throw EScreenSet(std::string(what) + " \"" + path.string() + "\": " + std::strerror(error));
}

void WriteAll(TFile file, const std::filesystem::path &path, std::span<const uint8_t> data) {
    if (!file)
        Fail("Cannot write", path, errno);
    if (!data.empty() && std::fwrite(data.data(), 1, data.size(), file.get()) != data.size())
        Fail("Cannot write", path, errno != 0 ? errno : EIO);
    if (std::fclose(file.release()) != 0)
        Fail("Cannot write", path, errno);
}

} // namespace

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path &path) {
    TFile file(Open(path, "rb"));
    if (!file)
        Fail("Cannot read", path, errno);
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
        data.insert(data.end(), chunk, chunk + n);
        if (n < sizeof chunk)
            break;
    }
    if (std::ferror(file.get()))
        Fail("Cannot read", path, errno != 0 ? errno : EIO);
    return data;
}

void WriteWholeFile(const std::filesystem::path &path, std::span<const uint8_t> data) {
    WriteAll(TFile(Open(path, "wb")), path, data);
}

void WriteFileStart(const std::filesystem::path &path, std::span<const uint8_t> data) {
    TFile file(Open(path, "r+b"));
    if (!file && errno == ENOENT)
        file.reset(Open(path, "wb"));
    WriteAll(std::move(file), path, data);
}
