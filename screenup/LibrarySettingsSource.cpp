#include "LibrarySettingsSource.h"

#include "velklink.h"

#include <string>

TLibrarySettingsSource::TLibrarySettingsSource(std::function<bool()> abandoned) : abandoned_(std::move(abandoned)) {}

bool TLibrarySettingsSource::Refresh() {
    if (abandoned_())
        return false;
    return RECRefresh(0) != 0;
}

bool TLibrarySettingsSource::ItemExists(std::string_view record, std::string_view item) {
    if (abandoned_())
        return false;
    const std::string recordName(record);
    const std::string itemName(item);
    if (RECItemExists(recordName.c_str(), itemName.c_str()) == 0)
        return false;
    HLPWaitFor();
    return true;
}

std::optional<std::vector<uint8_t>> TLibrarySettingsSource::LoadItem(std::string_view record, std::string_view item) {
    if (abandoned_())
        return std::nullopt;
    const std::string recordName(record);
    const std::string itemName(item);
    if (RECLoadItem(recordName.c_str(), itemName.c_str()) == 0)
        return std::nullopt;
    HLPWaitFor();
    const int32_t size = HLPGetBuffer(nullptr);
    std::vector<uint8_t> buffer(static_cast<std::size_t>(size > 0 ? size : 0));
    if (!buffer.empty())
        HLPGetBuffer(buffer.data());
    HLPWaitFor();
    return buffer;
}
