// TOutputFile: a file velkctl writes its result into. The bytes go into a
// staging file beside the target (so a path that cannot be written fails at
// once, before anything is read from the decoder), are flushed to the disk and
// then renamed over the target: the target appears whole or not at all, and an
// existing file is untouched until then. The staging file is removed when the
// command fails or is interrupted. "-" stands for standard output; a device or
// a pipe that exists is written in place.
#pragma once

#include "ctlinterrupt.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

class TOutputFile {
public:
    // ECtlUsage naming the path and the system's reason when it cannot be
    // written (a missing folder, a folder, no permission).
    explicit TOutputFile(std::string path);
    ~TOutputFile();
    TOutputFile(const TOutputFile &) = delete;
    TOutputFile &operator=(const TOutputFile &) = delete;

    const std::string &Path() const { return path_; }
    bool IsStandardOutput() const { return path_ == "-"; }
    // Where another writer puts the bytes by path (then Commit()).
    const std::string &WritePath() const { return staging_.empty() ? path_ : staging_; }
    // Writes data where WritePath() names and flushes it; ECtlFailed when
    // writing fails. The target is not yet replaced.
    void Stage(std::span<const uint8_t> data);
    // Flushes what is at WritePath() and renames it over the target.
    void Commit();
    // Stage and Commit.
    void Write(std::span<const uint8_t> data) {
        Stage(data);
        Commit();
    }

private:
    [[noreturn]] void Fail(const std::string &path, int error) const;

    std::string path_;
    std::string staging_; // empty: written in place
    std::optional<TInterrupt::TRemoval> removal_;
    bool committed_ = false;
};
