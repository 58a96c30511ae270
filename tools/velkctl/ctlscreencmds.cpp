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
#include <filesystem>

namespace {

// The record directory of the session for the settings dump. A failure is
// shown at once and the dump goes on as the uploader's does.
class TSessionRecords : public TSettingsSource {
public:
    explicit TSessionRecords(TCtlSession &session) : session_(session) {}

    bool Refresh() override {
        return Guarded([&] { session_.Refresh(false); });
    }
    bool ItemExists(std::string_view record, std::string_view item) override {
        return session_.Records().ItemExists(std::string(record), std::string(item));
    }
    std::optional<std::vector<uint8_t>> LoadItem(std::string_view record, std::string_view item) override {
        std::optional<std::vector<uint8_t>> data;
        Guarded([&] {
            TBuffer buffer;
            session_.Records().LoadItem(session_.Transport(), std::string(record), std::string(item), buffer);
            data.emplace(buffer.Memory(), buffer.Memory() + buffer.Size());
        });
        loaded_ = data;
        return data;
    }
    // The bytes of the last load; nothing when it failed.
    const std::optional<std::vector<uint8_t>> &Loaded() const { return loaded_; }

private:
    template <typename F> bool Guarded(F &&operation) {
        try {
            operation();
            return true;
        } catch (const EVelk &error) {
            PrintError(Cp1252ToUtf8(error.Message()));
        } catch (const ECtlFailed &error) {
            PrintError(error.what());
        }
        return false;
    }

    TCtlSession &session_;
    std::optional<std::vector<uint8_t>> loaded_;
};

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

// An upload without any resource would only overwrite "ini": it must be asked
// for. Resources are read whole when the plan is made: a device or a pipe
// could hold no end.
void CheckChosenFiles(const TUploadArgs &args) {
    const bool anyResource =
        std::any_of(args.Files.begin(), args.Files.end(), [](const std::string &file) { return !file.empty(); });
    if (!anyResource && !args.SettingsOnly)
        throw ECtlUsage("upload-screens needs at least one resource file (see --help), or --settings-only to "
                        "upload the settings item \"ini\" alone");
    if (anyResource && args.SettingsOnly)
        throw ECtlUsage("--settings-only uploads no resource file: leave out the files or --settings-only");

    for (const std::string &file : args.Files) {
        std::error_code error;
        if (!file.empty() && std::filesystem::exists(file, error) && !std::filesystem::is_regular_file(file, error))
            throw ECtlUsage("\"" + file + "\" is not a regular file");
    }
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
        CheckChosenFiles(args);
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
    Say(options, Step(ProgressStarted) + "reading the record directory");
    try {
        session.Refresh(false);
    } catch (const EVelk &error) {
        PrintError(Cp1252ToUtf8(error.Message()));
        throw ECtlFailed("Upload stopped: the record directory could not be read, nothing was written");
    } catch (const ECtlFailed &error) {
        PrintError(error.what());
        throw ECtlFailed("Upload stopped: the record directory could not be read, nothing was written");
    }
    Say(options, Step(ProgressRefreshed) + "record directory read");
    WarnDamagedNamesakes(session.Records(), std::string(PicturesRecord));

    // Every item goes into one copy of the record, which is written once.
    std::vector<TRecordItemData> items;
    for (const TUploadItem &item : plan.Items)
        items.push_back({item.ItemName, item.Data.data(), static_cast<int32_t>(item.Data.size())});
    std::string failure;
    int32_t slot = -1;
    try {
        slot = session.Records().SaveItems(session.Transport(), std::string(PicturesRecord), items);
    } catch (const EVelk &error) {
        failure = Cp1252ToUtf8(error.Message());
    } catch (const ECtlFailed &error) {
        failure = error.what();
    }
    std::string names;
    for (const TUploadItem &item : plan.Items) {
        Say(options, Step(item.Progress) + (failure.empty() ? "saved " : "FAILED ") + item.ItemName + " (" +
                         Bytes(item.Data.size()) + ")");
        names += (names.empty() ? "" : ", ") + item.ItemName;
    }
    if (!failure.empty()) {
        PrintError(failure);
        throw ECtlFailed("Upload incomplete: " + std::to_string(plan.Items.size()) + " of " + Items(plan.Items.size()) +
                         " failed (" + names + ")");
    }
    CheckSavedSlot(session.Records(), slot);
    Say(options, "Uploaded " + Items(plan.Items.size()));
    return 0;
}

int RunDumpSettings(const TCtlOptions &givenOptions, const std::string &file) {
    TOutputFile output(file);
    TCtlOptions options = givenOptions;
    options.StatusToError = output.IsStandardOutput();
    TCtlSession session = OpenSession(options);
    TSessionRecords records(session);
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
