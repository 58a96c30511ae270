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

// The check of every checked row's file, made before the port is opened so
// that nothing is sent for a row whose file is unusable: the row has a path,
// the file exists, is a regular file (a folder, a device or a pipe is refused:
// the plan reads each file whole, and a device or pipe could hold no end) and
// can be opened for reading. The refusal is an EScreenSet naming the row and
// the file: "Cannot upload "boot": the file "..." cannot be read (...)."
void CheckChosenFiles(const TScreenSelection &selection);

// The sum of the lengths of the checked rows' files, after CheckChosenFiles.
long long ResourceBytes(const TScreenSelection &selection);

// Checks everything before anything may be sent: the checked files pass
// CheckChosenFiles, their total is at most 64000 bytes (ESizeExceeded), the
// size values fit (EScreenSet). Reads the files.
TUploadPlan MakeUploadPlan(const TScreenSelection &selection);

// How the items reach record "pictures": each with a write of the record of
// its own (as the library's exports save an item), or all of them into one
// copy of the record written once (a failure then leaves the record as it was,
// and every item counts as failed).
enum class TUploadWrite { PerItem, OneWrite };

// What an upload talks to: the record directory of one decoder.
class TUploadTarget {
public:
    virtual ~TUploadTarget() = default;
    // Reads the record directory; false when that failed (the target has told
    // the user why).
    virtual bool Refresh() = 0;
    // Stores one item (TUploadWrite::PerItem); false when that failed (the
    // target has told the user why).
    virtual bool SaveItem(std::string_view record, std::string_view item, std::span<const uint8_t> data) = 0;
    // Stores every item with one write of the record (TUploadWrite::OneWrite);
    // false when that failed. A target that writes item by item only does not
    // override it, and an upload asking it for one write is a logic_error.
    virtual bool SaveItems(std::string_view record, std::span<const TUploadItem> items);
    // An item of the plan was stored (saved) or not, before its progress step.
    virtual void ItemDone(const TUploadItem &item, bool saved) {
        (void)item;
        (void)saved;
    }
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
// "pictures" in order, as write says. A failed item does not stop the others.
// A failed refresh stops the upload before anything is written: without a
// directory read from the decoder every slot would look free and a save could
// overwrite a record that is there.
TUploadResult RunUpload(const TUploadPlan &plan, TUploadTarget &target, TUploadWrite write);
