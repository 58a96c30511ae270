// upload-screens, dump-settings: what the window program's "Upload" and "save"
// do, on the command line.
#include "ctlcommands.h"

#include "ctlerror.h"
#include "ctloutputfile.h"
#include "ctlrawfile.h"
#include "screenset.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

// "1 item", "2 items".
std::string Items(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " item" : " items");
}

// "[3/8] ": the overall step of the upload.
std::string Step(int step) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "[%d/%d] ", step, ProgressLast);
    return prefix;
}

// The record directory of the decoder through the library's session, for the
// settings dump and the upload. A failed refresh or load is shown at once and
// the operation goes on as the uploader's does. The upload puts every item
// into record "pictures" with one write, and tells each step as it is reached.
// The screen set's record and item names are ASCII: the same in UTF-8, the
// session's characters, as in the decoder's Windows-1252.
class TLinkRecords : public TSettingsSource, public TUploadTarget {
public:
    TLinkRecords(TCtlLink &link, const TCtlOptions &options) : link_(link), options_(options) {}

    bool Refresh() override {
        return Shown(Failure([&] { link_.Refresh(false); }));
    }
    bool ItemExists(std::string_view record, std::string_view item) override {
        uint32_t length = 0;
        const velk_result result =
            velk_get_item(link_.Handle(), std::string(record).c_str(), std::string(item).c_str(), nullptr, 0, &length);
        if (result == VELK_ERR_RECORD)
            return false;
        link_.Check(result);
        return true;
    }
    std::optional<std::vector<uint8_t>> LoadItem(std::string_view record, std::string_view item) override {
        std::optional<std::vector<uint8_t>> data;
        Shown(Failure([&] { data = link_.GetItem(std::string(record), std::string(item)); }));
        loaded_ = data;
        return data;
    }
    bool SaveItem(std::string_view, std::string_view, std::span<const uint8_t>) override {
        throw std::logic_error("velkctl writes record \"pictures\" once");
    }
    bool SaveItems(std::string_view record, std::span<const TUploadItem> items) override {
        std::vector<TCtlItem> data;
        for (const TUploadItem &item : items)
            data.push_back({std::string(item.ItemName), item.Data});
        saveFailure_ = Failure([&] { link_.PutItems(std::string(record), data); });
        return !saveFailure_;
    }
    void ItemDone(const TUploadItem &item, bool saved) override {
        Say(options_, Step(item.Progress) + (saved ? "saved " : "FAILED ") + item.ItemName + " (" +
                          Bytes(item.Data.size()) + ")");
    }
    void Progress(int step) override {
        if (step == ProgressStarted)
            Say(options_, Step(step) + "reading the record directory");
        else if (step == ProgressRefreshed) {
            Say(options_, Step(step) + "record directory read");
            WarnDamagedNamesakes(link_, std::string(PicturesRecord));
        }
    }

    // The bytes of the last load; nothing when it failed.
    const std::optional<std::vector<uint8_t>> &Loaded() const { return loaded_; }
    // Why the upload's write failed, shown after its steps.
    const std::optional<std::string> &SaveFailure() const { return saveFailure_; }

private:
    // The error of the operation as text, or nothing when it succeeded.
    template <typename F> static std::optional<std::string> Failure(F &&operation) {
        try {
            operation();
            return std::nullopt;
        } catch (const ECtlFailed &error) {
            return std::string(error.what());
        }
    }
    static bool Shown(const std::optional<std::string> &failure) {
        if (failure)
            PrintError(*failure);
        return !failure;
    }

    TCtlLink &link_;
    const TCtlOptions &options_;
    std::optional<std::vector<uint8_t>> loaded_;
    std::optional<std::string> saveFailure_;
};

// An upload without any resource would only overwrite "ini": it must be asked
// for. The files themselves are checked by the plan, as the window program's.
void CheckResourceArguments(const TUploadArgs &args) {
    const bool anyResource =
        std::any_of(args.Files.begin(), args.Files.end(), [](const std::string &file) { return !file.empty(); });
    if (!anyResource && !args.SettingsOnly)
        throw ECtlUsage("upload-screens needs at least one resource file (see --help), or --settings-only to "
                        "upload the settings item \"ini\" alone");
    if (anyResource && args.SettingsOnly)
        throw ECtlUsage("--settings-only uploads no resource file: leave out the files or --settings-only");
}

} // namespace

int RunUploadScreens(const TCtlOptions &options, const TUploadArgs &args) {
    TScreenSelection selection;
    for (std::size_t i = 0; i < ResourceCount; ++i)
        selection.Rows[i] = {!args.Files[i].empty(), args.Files[i]};
    TUploadPlan plan;
    try {
        if (!args.Size.empty())
            selection.Size = {true, ParseSizeList(args.Size)};
        CheckResourceArguments(args);
        plan = MakeUploadPlan(selection);
    } catch (const ESizeExceeded &error) {
        throw ECtlUsage(std::string(error.what()) + ": the files hold " + std::to_string(error.Total()) +
                        " bytes, at most " + std::to_string(ResourceSizeLimit) + " may be sent");
    } catch (const EScreenSet &error) {
        throw ECtlUsage(error.what());
    }

    const auto link = OpenLink(options);
    Say(options, "Uploading " + Items(plan.Items.size()) + " (" + Bytes(plan.ResourceBytes) +
                     " of resources) into record " + std::string(PicturesRecord));
    TLinkRecords records(*link, options);
    const TUploadResult result = RunUpload(plan, records, TUploadWrite::OneWrite);
    if (!result.Refreshed)
        throw ECtlFailed("Upload stopped: the record directory could not be read, nothing was written");
    if (!result.Ok()) {
        PrintError(records.SaveFailure().value_or("the record was not written"));
        std::string names;
        for (const std::string &name : result.Failed)
            names += (names.empty() ? "" : ", ") + name;
        throw ECtlFailed("Upload incomplete: " + std::to_string(result.Failed.size()) + " of " +
                         Items(plan.Items.size()) + " failed (" + names + ")");
    }
    CheckSavedSlot(*link, std::string(PicturesRecord));
    Say(options, "Uploaded " + Items(plan.Items.size()));
    return 0;
}

int RunDumpSettings(const TCtlOptions &givenOptions, const std::string &file) {
    TOutputFile output(file);
    TCtlOptions options = givenOptions;
    options.StatusToError = output.IsStandardOutput();
    const auto link = OpenLink(options);
    TLinkRecords records(*link, options);
    TDumpResult result;
    try {
        // Standard output has no name on every system: the dump writes to the
        // null device and the bytes it loaded go to standard output after it.
        result = RunSettingsDump(records,
                                 output.IsStandardOutput() ? std::string(TRawFile::NullDevice()) : output.WritePath());
    } catch (const EScreenSet &error) {
        throw ECtlFailed(error.what());
    }
    switch (result.Outcome) {
    case TDumpOutcome::Written:
        if (output.IsStandardOutput() && records.Loaded())
            output.Write(*records.Loaded());
        output.Commit();
        Say(options, "Wrote " + Bytes(result.Bytes) + " of settings into " + file);
        return 0;
    case TDumpOutcome::RefreshFailed:
        throw ECtlFailed("Settings not dumped: the record directory could not be read");
    case TDumpOutcome::NoSetRecord:
    case TDumpOutcome::LoadFailed:
        break;
    }
    throw ECtlFailed(std::string(result.Message()));
}
