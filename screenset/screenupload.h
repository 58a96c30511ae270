// The upload of a screen set: which items go into record "pictures", in which
// order, with which overall progress step, and the run of that plan against
// the decoder through a TUploadTarget that the caller provides.
//
// Progress steps: 0 when the upload starts, 1 after the record directory has
// been read, 2 after the settings item "ini", and 3 + i after resource row i
// (3..8). Unchecked rows are skipped and their step is never reported.
#pragma once

#include "screenerror.h"
#include "screenresources.h"
#include "screensettings.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int ProgressStarted = 0;
inline constexpr int ProgressRefreshed = 1;
inline constexpr int ProgressSettingsSaved = 2;
inline constexpr int ProgressLast = 8;
constexpr int ResourceProgress(std::size_t index) {
    return 3 + static_cast<int>(index);
}

// One resource row as the user set it up.
struct TResourceChoice {
    bool Checked = false;
    std::filesystem::path Path;
};

struct TScreenSelection {
    std::array<TResourceChoice, ResourceCount> Rows;
    TSizeSettings Size;

    TResourceChecks Checks() const;
};

// Raised when the checked files together exceed ResourceSizeLimit; the message
// is MsgSizeExceeded.
class ESizeExceeded : public EScreenSet {
public:
    explicit ESizeExceeded(long long total);
    long long Total() const { return total_; }

private:
    long long total_;
};

struct TUploadItem {
    std::string ItemName;
    std::vector<uint8_t> Data;
    int Progress = 0;
    int Resource = -1; // row index, -1 for the settings item
    std::filesystem::path Source;
};

struct TUploadPlan {
    // The settings item first, then the checked rows in row order.
    std::vector<TUploadItem> Items;
    long long ResourceBytes = 0;
};

// The sum of the lengths of the checked rows' files. A checked row without a
// path, or whose file cannot be measured, raises EScreenSet naming it.
long long ResourceBytes(const TScreenSelection &selection);

// Checks everything before anything may be sent: the checked files exist and
// can be read (EScreenSet with the name), their total is at most 64000 bytes
// (ESizeExceeded), the size values fit (EScreenSet). Reads the files.
TUploadPlan MakeUploadPlan(const TScreenSelection &selection);

// What an upload talks to: the record directory of one decoder.
class TUploadTarget {
public:
    virtual ~TUploadTarget() = default;
    // Reads the record directory; false when that failed (the target has told
    // the user why).
    virtual bool Refresh() = 0;
    // Stores one item; false when that failed (the target has told the user why).
    virtual bool SaveItem(std::string_view record, std::string_view item, std::span<const uint8_t> data) = 0;
    // The overall step, ProgressStarted..ProgressLast.
    virtual void Progress(int step) { (void)step; }
};

struct TUploadResult {
    bool Refreshed = false;
    std::vector<std::string> Saved;
    std::vector<std::string> Failed;
    bool Ok() const { return Refreshed && Failed.empty(); }
};

// Refreshes the directory, then saves every item of the plan into record
// "pictures" in order. A failed item does not stop the others. A failed
// refresh stops the upload before anything is written: without a directory
// read from the decoder every slot would look free and a save could overwrite
// a record that is there.
TUploadResult RunUpload(const TUploadPlan &plan, TUploadTarget &target);
