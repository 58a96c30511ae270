#include "screenupload.h"

#include "screenfiles.h"

#include <system_error>

namespace {

std::string Quoted(const std::filesystem::path &path) {
    return "\"" + path.string() + "\"";
}

void CheckChosen(const TResourceChoice &row, std::size_t index) {
    if (row.Path.empty())
        throw EScreenSet("No file chosen for \"" + std::string(ScreenResource(index).Caption) + "\"");
}

long long MeasureFile(const std::filesystem::path &path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error)
        throw EScreenSet("Cannot read " + Quoted(path) + ": " + error.message());
    if (std::filesystem::is_directory(status))
        throw EScreenSet("Cannot read " + Quoted(path) + ": it is a folder");
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        throw EScreenSet("Cannot read " + Quoted(path) + ": " + error.message());
    return static_cast<long long>(size);
}

} // namespace

TResourceChecks TScreenSelection::Checks() const {
    TResourceChecks checks{};
    for (std::size_t i = 0; i < ResourceCount; ++i)
        checks[i] = Rows[i].Checked;
    return checks;
}

ESizeExceeded::ESizeExceeded(long long total) : EScreenSet(std::string(MsgSizeExceeded)), total_(total) {}

long long ResourceBytes(const TScreenSelection &selection) {
    long long total = 0;
    for (std::size_t i = 0; i < ResourceCount; ++i) {
        const TResourceChoice &row = selection.Rows[i];
        if (!row.Checked)
            continue;
        CheckChosen(row, i);
        total += MeasureFile(row.Path);
    }
    return total;
}

TUploadPlan MakeUploadPlan(const TScreenSelection &selection) {
    const long long measured = ResourceBytes(selection);
    if (measured > ResourceSizeLimit)
        throw ESizeExceeded(measured);

    TUploadPlan plan;
    const TSettingsItem settings = BuildSettingsItem(selection.Checks(), selection.Size);
    plan.Items.push_back({std::string(SettingsItem),
                          std::vector<uint8_t>(settings.begin(), settings.end()),
                          ProgressSettingsSaved,
                          -1,
                          {}});
    for (std::size_t i = 0; i < ResourceCount; ++i) {
        const TResourceChoice &row = selection.Rows[i];
        if (!row.Checked)
            continue;
        TUploadItem item{std::string(ScreenResource(i).ItemName), ReadWholeFile(row.Path), ResourceProgress(i),
                         static_cast<int>(i), row.Path};
        plan.ResourceBytes += static_cast<long long>(item.Data.size());
        plan.Items.push_back(std::move(item));
    }
    // A file that grew since it was measured must not slip past the limit.
    if (plan.ResourceBytes > ResourceSizeLimit)
        throw ESizeExceeded(plan.ResourceBytes);
    return plan;
}

TUploadResult RunUpload(const TUploadPlan &plan, TUploadTarget &target) {
    TUploadResult result;
    target.Progress(ProgressStarted);
    result.Refreshed = target.Refresh();
    if (!result.Refreshed)
        return result;
    target.Progress(ProgressRefreshed);
    for (const TUploadItem &item : plan.Items) {
        if (target.SaveItem(PicturesRecord, item.ItemName, item.Data))
            result.Saved.push_back(item.ItemName);
        else
            result.Failed.push_back(item.ItemName);
        target.Progress(item.Progress);
    }
    return result;
}
