// TSimStateFolder: the folder that keeps the simulated decoder's memories
// across runs, as flash.bin (the record area), eeprom.bin and firmware.bin.
// Every file is replaced atomically (written to a temporary file, flushed to
// disk and renamed over the old one), so killing the simulator at any moment
// leaves either the old or the new content. A lock file keeps a second
// simulator out of a folder in use.
#pragma once

#include "velkdescriptor.h"
#include "velksimmemory.h"

#include <span>
#include <string>

namespace velksim {

class TSimStateFolder {
public:
    // Creates the folder when missing and locks it; ESimState when it cannot, or
    // when another simulator holds it.
    explicit TSimStateFolder(std::string path);

    const std::string &Path() const { return path_; }

    // Fills memory from the folder. A file that is missing is taken from the demo
    // decoder (every file when none exists yet) and written; a file of the wrong
    // size or that cannot be read raises ESimState naming it. Returns true when
    // the demo decoder was used for anything.
    bool Load(TSimMemory &memory);
    // Replaces every file with the demo decoder.
    void Reset(TSimMemory &memory);

    void SaveFlash(const TSimMemory &memory);
    void SaveEeprom(const TSimMemory &memory);
    void SaveFirmware(const TSimMemory &memory);

private:
    std::string File(const char *name) const;
    void Replace(const char *name, std::span<const uint8_t> bytes);

    std::string path_;
    TDescriptor lock_;
};

} // namespace velksim
