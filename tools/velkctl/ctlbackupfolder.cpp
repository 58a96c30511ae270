#include "ctlbackupfolder.h"

#include "ctlerror.h"

TBackupFolder::TBackupFolder(std::filesystem::path folder, bool replace) : folder_(std::move(folder)) {
    std::error_code error;
    if (!std::filesystem::exists(folder_, error)) {
        std::filesystem::create_directories(folder_, error);
        if (error)
            throw ECtlUsage("Cannot create \"" + folder_.string() + "\": " + error.message());
        created_ = true;
        removal_.emplace(folder_.string(), true);
    }
    if (!std::filesystem::is_directory(folder_, error))
        throw ECtlUsage("Cannot use \"" + folder_.string() + "\": it is not a folder");
    for (const char *name : {BackupDescriptionFile, BackupFlashFile, BackupEepromFile})
        if (!replace && std::filesystem::exists(folder_ / name, error))
            throw ECtlUsage("\"" + folder_.string() + "\" already holds a backup (" + name +
                            "): give another folder, or --force to replace it");
    for (const char *name : {BackupFlashFile, BackupEepromFile, BackupDescriptionFile})
        files_.push_back(std::make_unique<TOutputFile>((folder_ / name).string()));
}

TBackupFolder::~TBackupFolder() {
    // The staging files go first: a folder made for the backup is removed
    // only when empty.
    files_.clear();
    if (created_ && !saved_) {
        std::error_code ignored;
        std::filesystem::remove(folder_, ignored);
    }
}

void TBackupFolder::Save(const TDecoderImage &image) {
    const std::string description = BackupDescription(image);
    files_[0]->Stage(image.Flash);
    files_[1]->Stage(image.Eeprom);
    files_[2]->Stage(std::span(reinterpret_cast<const uint8_t *>(description.data()), description.size()));
    // backup.json last: until it is in place the folder holds no new backup.
    for (auto &file : files_)
        file->Commit();
    saved_ = true;
}

void SaveBackup(const std::filesystem::path &folder, const TDecoderImage &image) {
    TBackupFolder(folder, true).Save(image);
}
