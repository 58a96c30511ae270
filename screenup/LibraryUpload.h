// The upload and the settings dump over the library's record functions, run
// inside an open library scope.
#pragma once

#include "screendump.h"
#include "screenupload.h"

#include <filesystem>
#include <functional>

// Reads the directory with a partial refresh and stores each item with
// RECSaveItem followed by HLPWaitFor. Once abandoned() holds it asks the
// library for nothing more.
class TLibraryUploadTarget final : public TUploadTarget {
public:
    TLibraryUploadTarget(std::function<void(int)> onProgress, std::function<bool()> abandoned);

    bool Refresh() override;
    bool SaveItem(std::string_view record, std::string_view item, std::span<const uint8_t> data) override;
    void Progress(int step) override;

private:
    std::function<void(int)> onProgress_;
    std::function<bool()> abandoned_;
};

// The settings dump: refreshes, checks for the item "SET" of record "SET",
// loads it and writes the bytes of the transfer engine's last read into file,
// sized by what HLPGetBuffer reports, so the file holds exactly those bytes.
// A file that cannot be written raises EScreenSet.
TDumpResult DumpSettings(const std::filesystem::path &file, const std::function<bool()> &abandoned);
