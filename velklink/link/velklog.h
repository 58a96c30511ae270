// velk_Log: a protocol log that hands each line, exactly as written, to one
// output handler; without a handler lines are dropped. The library has two:
// the link log and the transfer log, alive from library load to unload.
#pragma once

#include "velkformat.h"

#include <functional>
#include <string>

class velk_Log {
public:
    using THandler = std::function<void(velk_Log &sender, const std::string &line)>;

    THandler OnLog;

    void Log(const std::string &text);
    template <typename... Args> void LogFmt(std::string_view format, const Args &...args) {
        Log(Format(format, args...));
    }
    // A line of '=' as long as the text, the text, the same line again.
    void Banner(const std::string &text);
    // Result lines; same effect as Log.
    void Info(const std::string &text) { Log(text); }
};

// The link log (lines of kind 0) and the transfer log (kind 1).
velk_Log &LinkLog();
velk_Log &TransferLog();
