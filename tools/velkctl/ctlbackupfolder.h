// TBackupFolder: the folder a backup is written into, made ready before the
// decoder is read. A folder that already holds a backup is refused unless it
// may be replaced. The three files are staged beside their names and put in
// place only when all are written and flushed, backup.json last, so that a
// folder holds either a whole backup or none: a failed or interrupted backup
// leaves nothing new behind (a folder made for it is removed again).
#pragma once

#include "ctlbackup.h"
#include "ctlinterrupt.h"
#include "ctloutputfile.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

class TBackupFolder {
public:
    // Creates the folder when missing. ECtlUsage when it cannot be made, is
    // not a folder, a file cannot be written there, or (unless replace) it
    // holds a backup's file already.
    TBackupFolder(std::filesystem::path folder, bool replace);
    ~TBackupFolder();
    TBackupFolder(const TBackupFolder &) = delete;
    TBackupFolder &operator=(const TBackupFolder &) = delete;

    // Writes the backup of image; ECtlFailed naming a file that cannot be
    // written.
    void Save(const TDecoderImage &image);

private:
    std::filesystem::path folder_;
    bool created_ = false;
    bool saved_ = false;
    std::optional<TInterrupt::TRemoval> removal_;
    // flash.bin, eeprom.bin, backup.json
    std::vector<std::unique_ptr<TOutputFile>> files_;
};

// Writes the three files into the folder (made when missing), replacing a
// backup there; ECtlFailed naming a file that cannot be written.
void SaveBackup(const std::filesystem::path &folder, const TDecoderImage &image);
