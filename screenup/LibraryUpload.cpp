#include "LibraryUpload.h"

#include "velklink.h"

#include <string>

TLibraryUploadTarget::TLibraryUploadTarget(std::function<void(int)> onProgress, std::function<bool()> abandoned)
    : onProgress_(std::move(onProgress)), abandoned_(std::move(abandoned)) {}

bool TLibraryUploadTarget::Refresh() {
    if (abandoned_())
        return false;
    return RECRefresh(0) != 0;
}

bool TLibraryUploadTarget::SaveItem(std::string_view record, std::string_view item, std::span<const uint8_t> data) {
    if (abandoned_())
        return false;
    const std::string recordName(record);
    const std::string itemName(item);
    const int32_t saved =
        RECSaveItem(recordName.c_str(), itemName.c_str(), data.data(), static_cast<int32_t>(data.size()));
    HLPWaitFor();
    return saved != 0;
}

void TLibraryUploadTarget::Progress(int step) {
    if (!abandoned_())
        onProgress_(step);
}
