#include "screendump.h"

#include "screenfiles.h"
#include "screenresources.h"

std::string_view TDumpResult::Message() const {
    switch (Outcome) {
    case TDumpOutcome::NoSetRecord:
        return MsgNoSetRecord;
    case TDumpOutcome::LoadFailed:
        return MsgLoadSettingsFailed;
    case TDumpOutcome::Written:
    case TDumpOutcome::RefreshFailed:
        break;
    }
    return {};
}

TDumpResult RunSettingsDump(TSettingsSource &source, const std::filesystem::path &file) {
    TDumpResult result;
    if (!source.Refresh()) {
        result.Outcome = TDumpOutcome::RefreshFailed;
        return result;
    }
    if (!source.ItemExists(SetRecord, SetItem)) {
        result.Outcome = TDumpOutcome::NoSetRecord;
        return result;
    }
    const auto data = source.LoadItem(SetRecord, SetItem);
    if (!data) {
        result.Outcome = TDumpOutcome::LoadFailed;
        return result;
    }
    WriteWholeFile(file, *data);
    result.Outcome = TDumpOutcome::Written;
    result.Bytes = data->size();
    return result;
}
