// TOutputFile: a file velkctl will write its result into, opened (created when
// missing) before anything is read from the decoder, so that a path that
// cannot be written fails at once instead of after the transfer. "-" stands
// for standard output. A file this object created is removed again when the
// command ends without writing it.
#pragma once

#include "ctlrawfile.h"

#include <cstdint>
#include <span>
#include <string>

class TOutputFile {
public:
    // ECtlUsage naming the path and the system's reason when it cannot be
    // opened for writing (a missing folder, a folder, no permission).
    explicit TOutputFile(std::string path);
    ~TOutputFile();
    TOutputFile(const TOutputFile &) = delete;
    TOutputFile &operator=(const TOutputFile &) = delete;

    const std::string &Path() const { return path_; }
    bool IsStandardOutput() const { return path_ == "-"; }
    // The file afterwards holds exactly data; ECtlFailed when writing fails.
    void Write(std::span<const uint8_t> data);
    // Another writer fills the file by its path: it is kept.
    void Keep() { kept_ = true; }

private:
    std::string path_;
    TRawFile file_;
    bool created_ = false;
    bool kept_ = false;
};
