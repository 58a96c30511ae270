#include "velksimstate.h"

#include "velksimdemo.h"

#include "velkformat.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

namespace velksim {

namespace {

constexpr const char *FlashFile = "flash.bin";
constexpr const char *EepromFile = "eeprom.bin";
constexpr const char *FirmwareFile = "firmware.bin";
constexpr const char *LockFile = ".velksim.lock";

std::string SystemError() {
    return std::strerror(errno);
}

// The whole content of a file, or nothing when it does not exist.
std::optional<std::vector<uint8_t>> ReadFile(const std::string &file, uint32_t limit) {
    TDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT)
            return std::nullopt;
        throw ESimState(Format("Cannot read state file %s: %s", file, SystemError()));
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        throw ESimState(Format("State file %s is not a regular file", file));
    if (uint64_t(info.st_size) > limit)
        throw ESimState(Format("State file %s is too large (%u bytes at most)", file, limit));
    std::vector<uint8_t> bytes(size_t(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw ESimState(Format("Cannot read state file %s: %s", file,
                                   n < 0 ? SystemError() : std::string("file shrank while read")));
        done += size_t(n);
    }
    return bytes;
}

void CheckSize(const std::string &file, const std::vector<uint8_t> &bytes, uint32_t size, const char *what) {
    if (bytes.size() != size)
        throw ESimState(Format("State file %s holds %u bytes, but %s has %u: the file is damaged "
                               "or not a simulator state; move it away to start from the demo decoder",
                               file, uint32_t(bytes.size()), what, size));
}

void WriteAll(int fd, std::span<const uint8_t> bytes, const std::string &file) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw ESimState(Format("Cannot write state file %s: %s", file, SystemError()));
        done += size_t(n);
    }
}

} // namespace

TSimStateFolder::TSimStateFolder(std::string path) : path_(std::move(path)) {
    std::error_code error;
    std::filesystem::create_directories(path_, error);
    if (error)
        throw ESimState(Format("Cannot create state folder %s: %s", path_, error.message()));
    if (!std::filesystem::is_directory(path_))
        throw ESimState(Format("State folder %s is not a folder", path_));
    std::string lock = File(LockFile);
    lock_.Reset(::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!lock_)
        throw ESimState(Format("Cannot use state folder %s: %s", path_, SystemError()));
    if (::flock(lock_.Get(), LOCK_EX | LOCK_NB) != 0)
        throw ESimState(Format("State folder %s is in use by another simulator", path_));
}

std::string TSimStateFolder::File(const char *name) const {
    return path_ + "/" + name;
}

bool TSimStateFolder::Load(TSimMemory &memory) {
    auto flash = ReadFile(File(FlashFile), FlashSize);
    auto eeprom = ReadFile(File(EepromFile), EepromSize);
    auto firmware = ReadFile(File(FirmwareFile), MaxFirmware);
    if (flash)
        CheckSize(File(FlashFile), *flash, FlashSize, "the decoder's record area");
    if (eeprom)
        CheckSize(File(EepromFile), *eeprom, EepromSize, "the decoder's EEPROM");
    if (flash && eeprom) {
        memory.SetFlash(std::move(*flash));
        memory.SetEeprom(std::move(*eeprom));
        memory.SetFirmware(firmware ? std::move(*firmware) : std::vector<uint8_t>{});
        if (!firmware)
            SaveFirmware(memory);
        return false;
    }
    FillDemoState(memory);
    if (flash)
        memory.SetFlash(std::move(*flash));
    if (eeprom)
        memory.SetEeprom(std::move(*eeprom));
    memory.SetFirmware(firmware ? std::move(*firmware) : std::vector<uint8_t>{});
    if (!flash)
        SaveFlash(memory);
    if (!eeprom)
        SaveEeprom(memory);
    if (!firmware)
        SaveFirmware(memory);
    return true;
}

void TSimStateFolder::Reset(TSimMemory &memory) {
    FillDemoState(memory);
    memory.SetFirmware({});
    SaveFlash(memory);
    SaveEeprom(memory);
    SaveFirmware(memory);
}

void TSimStateFolder::SaveFlash(const TSimMemory &memory) {
    Replace(FlashFile, memory.Flash());
}

void TSimStateFolder::SaveEeprom(const TSimMemory &memory) {
    Replace(EepromFile, memory.Eeprom());
}

void TSimStateFolder::SaveFirmware(const TSimMemory &memory) {
    Replace(FirmwareFile, memory.Firmware());
}

void TSimStateFolder::Replace(const char *name, std::span<const uint8_t> bytes) {
    std::string file = File(name);
    std::string temporary = path_ + "/." + name + ".XXXXXX";
    TDescriptor fd(::mkstemp(temporary.data()));
    if (!fd)
        throw ESimState(Format("Cannot write state file %s: %s", file, SystemError()));
    try {
        WriteAll(fd.Get(), bytes, file);
        if (::fchmod(fd.Get(), 0644) != 0 || ::fsync(fd.Get()) != 0)
            throw ESimState(Format("Cannot write state file %s: %s", file, SystemError()));
        fd.Reset();
        if (::rename(temporary.c_str(), file.c_str()) != 0)
            throw ESimState(Format("Cannot replace state file %s: %s", file, SystemError()));
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    // Make the rename itself durable.
    TDescriptor folder(::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        ::fsync(folder.Get());
}

} // namespace velksim
