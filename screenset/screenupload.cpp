#include "screenupload.h"

#include "screenfiles.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace {

[[noreturn]] void Refuse(std::size_t index, const std::string &why) {
    throw EScreenSet("Cannot upload \"" + std::string(ScreenResource(index).Caption) + "\": " + why + ".");
}

void CheckChosenFile(const TResourceChoice &row, std::size_t index) {
    if (row.Path.empty())
        Refuse(index, "no file is chosen for it");
    const std::string file = "the file \"" + row.Path.string() + "\"";
    std::error_code error;
    const auto status = std::filesystem::status(row.Path, error);
    if (error)
        Refuse(index, file + " cannot be read (" + error.message() + ")");
    if (std::filesystem::is_directory(status))
        Refuse(index, file + " cannot be read (it is a folder)");
    if (!std::filesystem::is_regular_file(status))
        Refuse(index, file + " is not a regular file");
    errno = 0;
    const std::ifstream probe(row.Path, std::ios::binary);
    if (!probe)
        Refuse(index, file + " cannot be read (" + (errno != 0 ? std::strerror(errno) : "it cannot be opened") + ")");
}

long long MeasureFile(const std::filesystem::path &path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        throw EScreenSet("Cannot read \"" + path.string() + "\": " + error.message());
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

void CheckChosenFiles(const TScreenSelection &selection) {
    for (std::size_t i = 0; i < ResourceCount; ++i)
        if (selection.Rows[i].Checked)
            CheckChosenFile(selection.Rows[i], i);
}

long long ResourceBytes(const TScreenSelection &selection) {
    CheckChosenFiles(selection);
    long long total = 0;
    for (const TResourceChoice &row : selection.Rows)
        if (row.Checked)
            total += MeasureFile(row.Path);
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

bool TUploadTarget::SaveItems(std::string_view record, std::span<const TUploadItem> items) {
    (void)record;
    (void)items;
    throw std::logic_error("this upload target writes item by item only");
}

TUploadResult RunUpload(const TUploadPlan &plan, TUploadTarget &target, TUploadWrite write) {
    TUploadResult result;
    target.Progress(ProgressStarted);
    result.Refreshed = target.Refresh();
    if (!result.Refreshed)
        return result;
    target.Progress(ProgressRefreshed);
    const bool allSaved = write == TUploadWrite::OneWrite && target.SaveItems(PicturesRecord, plan.Items);
    for (const TUploadItem &item : plan.Items) {
        const bool saved =
            write == TUploadWrite::OneWrite ? allSaved : target.SaveItem(PicturesRecord, item.ItemName, item.Data);
        (saved ? result.Saved : result.Failed).push_back(item.ItemName);
        target.ItemDone(item, saved);
        target.Progress(item.Progress);
    }
    return result;
}
