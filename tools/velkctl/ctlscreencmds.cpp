// upload-screens, dump-settings: what the window program's "Upload" and "save"
// do, on the command line.
#include "ctlcommands.h"

#include "ctlerror.h"
#include "ctloutputfile.h"
#include "ctlrawfile.h"
#include "screenset.h"
#include "velkcodepage.h"
#include "velkerror.h"

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

// The record directory of the session, for the settings dump and the upload.
// A failed refresh or load is shown at once and the operation goes on as the
// uploader's does. The upload puts every item into one copy of record
// "pictures", written once, and tells each step as it is reached.
class TSessionRecords : public TSettingsSource, public TUploadTarget {
public:
    TSessionRecords(TCtlSession &session, const TCtlOptions &options) : session_(session), options_(options) {}

    bool Refresh() override {
        return Shown(Failure([&] { session_.Refresh(false); }));
    }
    bool ItemExists(std::string_view record, std::string_view item) override {
        return session_.Records().ItemExists(std::string(record), std::string(item));
    }
    std::optional<std::vector<uint8_t>> LoadItem(std::string_view record, std::string_view item) override {
        std::optional<std::vector<uint8_t>> data;
        Shown(Failure([&] {
            TBuffer buffer;
            session_.Records().LoadItem(session_.Transport(), std::string(record), std::string(item), buffer);
            data.emplace(buffer.Memory(), buffer.Memory() + buffer.Size());
        }));
        loaded_ = data;
        return data;
    }
    bool SaveItem(std::string_view, std::string_view, std::span<const uint8_t>) override {
        throw std::logic_error("velkctl writes record \"pictures\" once");
    }
    bool SaveItems(std::string_view record, std::span<const TUploadItem> items) override {
        std::vector<TRecordItemData> data;
        for (const TUploadItem &item : items)
            data.push_back({item.ItemName, item.Data.data(), static_cast<int32_t>(item.Data.size())});
        saveFailure_ =
            Failure([&] { slot_ = session_.Records().SaveItems(session_.Transport(), std::string(record), data); });
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
            WarnDamagedNamesakes(session_.Records(), std::string(PicturesRecord));
        }
    }

    // The bytes of the last load; nothing when it failed.
    const std::optional<std::vector<uint8_t>> &Loaded() const { return loaded_; }
    // Why the upload's write failed, shown after its steps; the slot it went
    // to when it did not.
    const std::optional<std::string> &SaveFailure() const { return saveFailure_; }
    int32_t Slot() const { return slot_; }

private:
    // The error of the operation as text, or nothing when it succeeded.
    template <typename F> static std::optional<std::string> Failure(F &&operation) {
        try {
            operation();
            return std::nullopt;
        } catch (const EVelk &error) {
            return Cp1252ToUtf8(error.Message());
        } catch (const ECtlFailed &error) {
            return std::string(error.what());
        }
    }
    static bool Shown(const std::optional<std::string> &failure) {
        if (failure)
            PrintError(*failure);
        return !failure;
    }

    TCtlSession &session_;
    const TCtlOptions &options_;
    std::optional<std::vector<uint8_t>> loaded_;
    std::optional<std::string> saveFailure_;
    int32_t slot_ = -1;
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

    TCtlSession session = OpenSession(options);
    Say(options, "Uploading " + Items(plan.Items.size()) + " (" + Bytes(plan.ResourceBytes) +
                     " of resources) into record " + std::string(PicturesRecord));
    TSessionRecords records(session, options);
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
    CheckSavedSlot(session.Records(), records.Slot());
    Say(options, "Uploaded " + Items(plan.Items.size()));
    return 0;
}

int RunDumpSettings(const TCtlOptions &givenOptions, const std::string &file) {
    TOutputFile output(file);
    TCtlOptions options = givenOptions;
    options.StatusToError = output.IsStandardOutput();
    TCtlSession session = OpenSession(options);
    TSessionRecords records(session, options);
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
