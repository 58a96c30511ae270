// The settings dump: the item "SET" of the decoder's record "SET" copied into a
// file. The file gets exactly the item's bytes and is cut to that length, so a
// longer file from an earlier dump keeps no stale bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

// What a dump reads from: the record directory of one decoder.
class TSettingsSource {
public:
    virtual ~TSettingsSource() = default;
    // Reads the record directory; false when that failed (the source has told
    // the user why).
    virtual bool Refresh() = 0;
    virtual bool ItemExists(std::string_view record, std::string_view item) = 0;
    // The item's bytes; nothing when the load failed (the source has told the
    // user why).
    virtual std::optional<std::vector<uint8_t>> LoadItem(std::string_view record, std::string_view item) = 0;
};

enum class TDumpOutcome {
    Written,
    RefreshFailed, // the directory could not be read; the source has reported it
    NoSetRecord,   // MsgNoSetRecord
    LoadFailed,    // MsgLoadSettingsFailed
};

struct TDumpResult {
    TDumpOutcome Outcome = TDumpOutcome::RefreshFailed;
    std::size_t Bytes = 0;
    // The uploader's message for NoSetRecord and LoadFailed; empty otherwise.
    std::string_view Message() const;
};

// Refreshes, checks for the item, loads it and writes the file. Writes no file
// unless the load succeeded; a file that cannot be written raises EScreenSet
// naming it.
TDumpResult RunSettingsDump(TSettingsSource &source, const std::filesystem::path &file);
