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
    TFile file(std::fopen(path.string().c_str(), "rb"));
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
    WriteAll(TFile(std::fopen(path.string().c_str(), "wb")), path, data);
}

void WriteFileStart(const std::filesystem::path &path, std::span<const uint8_t> data) {
    TFile file(std::fopen(path.string().c_str(), "r+b"));
    if (!file && errno == ENOENT)
        file.reset(std::fopen(path.string().c_str(), "wb"));
    WriteAll(std::move(file), path, data);
}
