// upload-screens, dump-settings: what the window program's "Upload" and "save"
// do, on the command line.
#include "ctlcommands.h"

#include "ctlerror.h"
#include "screenset.h"
#include "velkcodepage.h"
#include "velkerror.h"

#include <cstdio>

namespace {

// The record directory of the session for the upload and the dump. A failure
// is shown at once and the operation goes on as the uploader's does.
class TSessionRecords : public TUploadTarget, public TSettingsSource {
public:
    TSessionRecords(TCtlSession &session, const TCtlOptions &options) : session_(session), options_(options) {}

    bool Refresh() override {
        return Guarded([&] { session_.Refresh(false); });
    }
    bool SaveItem(std::string_view record, std::string_view item, std::span<const uint8_t> data) override {
        lastItem_ = std::string(item) + " (" + std::to_string(data.size()) + " bytes)";
        lastSaved_ = Guarded([&] {
            TBuffer buffer;
            buffer.SetData(data.data(), static_cast<int32_t>(data.size()));
            session_.Records().SaveItem(session_.Transport(), std::string(record), std::string(item), buffer);
        });
        return lastSaved_;
    }
    // One line per step: what has just been done.
    void Progress(int step) override {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "[%d/%d] ", step, ProgressLast);
        if (step == ProgressStarted)
            Say(options_, prefix + std::string("reading the record directory"));
        else if (step == ProgressRefreshed)
            Say(options_, prefix + std::string("record directory read"));
        else
            Say(options_, std::string(prefix) + (lastSaved_ ? "saved " : "FAILED ") + lastItem_);
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
        return data;
    }

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
    const TCtlOptions &options_;
    std::string lastItem_;
    bool lastSaved_ = false;
};

} // namespace

int RunUploadScreens(const TCtlOptions &options, const TUploadArgs &args) {
    TScreenSelection selection;
    for (std::size_t i = 0; i < ResourceCount; ++i)
        selection.Rows[i] = {!args.Files[i].empty(), args.Files[i]};
    TUploadPlan plan;
    try {
        if (!args.Size.empty())
            selection.Size = {true, ParseSizeList(args.Size)};
        plan = MakeUploadPlan(selection);
    } catch (const ESizeExceeded &error) {
        throw ECtlUsage(std::string(error.what()) + ": the files hold " + std::to_string(error.Total()) +
                        " bytes, at most " + std::to_string(ResourceSizeLimit) + " may be sent");
    } catch (const EScreenSet &error) {
        throw ECtlUsage(error.what());
    }

    TCtlSession session = OpenSession(options);
    TSessionRecords records(session, options);
    Say(options, "Uploading " + std::to_string(plan.Items.size()) + " items (" +
                     std::to_string(plan.ResourceBytes) + " bytes of resources) into record " +
                     std::string(PicturesRecord));
    const TUploadResult result = RunUpload(plan, records);
    if (!result.Refreshed)
        throw ECtlFailed("Upload stopped: the record directory could not be read, nothing was written");
    if (!result.Failed.empty()) {
        std::string names;
        for (const std::string &name : result.Failed)
            names += (names.empty() ? "" : ", ") + name;
        throw ECtlFailed("Upload incomplete: " + std::to_string(result.Failed.size()) + " of " +
                         std::to_string(plan.Items.size()) + " items failed (" + names + ")");
    }
    Say(options, "Uploaded " + std::to_string(result.Saved.size()) + " items");
    return 0;
}

int RunDumpSettings(const TCtlOptions &options, const std::string &file) {
    TCtlSession session = OpenSession(options);
    TSessionRecords records(session, options);
    TDumpResult result;
    try {
        result = RunSettingsDump(records, file);
    } catch (const EScreenSet &error) {
        throw ECtlFailed(error.what());
    }
    switch (result.Outcome) {
    case TDumpOutcome::Written:
        Say(options, "Wrote " + std::to_string(result.Bytes) + " bytes of settings into " + file);
        return 0;
    case TDumpOutcome::RefreshFailed:
        throw ECtlFailed("Settings not dumped: the record directory could not be read");
    case TDumpOutcome::NoSetRecord:
    case TDumpOutcome::LoadFailed:
        break;
    }
    throw ECtlFailed(std::string(result.Message()));
}
