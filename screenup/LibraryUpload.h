// The upload's target over the library's record functions, run inside an open
// library scope.
#pragma once

#include "screenupload.h"

#include <functional>

// Reads the directory with a partial refresh and stores each item with
// RECSaveItem followed by HLPWaitFor (TUploadWrite::PerItem). Once
// abandoned() holds it asks the library for nothing more.
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
