#include "LibraryUpload.h"

#include "screenfiles.h"
#include "screenresources.h"
#include "velklink.h"

#include <string>
#include <vector>

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

TDumpResult DumpSettings(const std::filesystem::path &file, const std::function<bool()> &abandoned) {
    const std::string record(SetRecord);
    const std::string item(SetItem);
    TDumpResult result;
    RECRefresh(0);
    if (abandoned())
        return result;
    if (RECItemExists(record.c_str(), item.c_str()) == 0) {
        result.Outcome = TDumpOutcome::NoSetRecord;
        return result;
    }
    HLPWaitFor();
    if (abandoned())
        return result;
    if (RECLoadItem(record.c_str(), item.c_str()) == 0) {
        result.Outcome = TDumpOutcome::LoadFailed;
        return result;
    }
    HLPWaitFor();
    const int32_t size = HLPGetBuffer(nullptr);
    std::vector<uint8_t> buffer(static_cast<std::size_t>(size > 0 ? size : 0));
    if (!buffer.empty())
        HLPGetBuffer(buffer.data());
    HLPWaitFor();
    WriteWholeFile(file, buffer);
    result.Outcome = TDumpOutcome::Written;
    result.Bytes = buffer.size();
    return result;
}
