// Support for velkctl's end-to-end tests: the simulator as a separate process
// on a pseudo-terminal, and velkctl run as a child process with its standard
// output and error captured.
#pragma once

#include "TempFolder.h"
#include "velksimdemo.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// A record slot image holding one record with the given items.
inline std::vector<uint8_t> SlotImage(const std::string &record, const std::vector<velksim::TSimItem> &items) {
    return velksim::RecordSlotImage(record, items);
}

struct TRunResult {
    int Exit = -1; // exit code, or 128 + signal
    std::string Out;
    std::string Err;
};

struct TRunOptions {
    // Variables set for the child (VELK_PORT is removed unless given here).
    std::map<std::string, std::string> Environment;
    // Standard error goes to a new pseudo-terminal instead of a pipe.
    bool ErrorOnTerminal = false;
    // Standard input comes from this file (empty: /dev/null).
    std::string InputFile{};
    // Standard output is appended to this file instead of a pipe (empty: a pipe).
    std::string AppendOutputTo{};
    std::chrono::seconds Timeout{120};
    // The child gets SIGINT once this returns true (asked every 10 ms with
    // what it has written so far).
    std::function<bool(const std::string &out, const std::string &err)> InterruptWhen{};
};

// Standard error on a pseudo-terminal.
inline TRunOptions ErrorOnTerminal() {
    TRunOptions options;
    options.ErrorOnTerminal = true;
    return options;
}

// Runs program with args and waits for it; a child that outlives the timeout
// is killed and the test fails.
TRunResult RunProgram(const std::string &program, const std::vector<std::string> &args,
                      const TRunOptions &options = {});

// velkctl with args.
inline TRunResult Ctl(const std::vector<std::string> &args, const TRunOptions &options = {}) {
    return RunProgram(VELKCTL_PATH, args, options);
}

// velksim in a process of its own, serving on a pseudo-terminal reached through
// a link in a fresh folder, with its state in that folder. Stopped (SIGTERM)
// when destroyed.
class TSimProcess {
public:
    explicit TSimProcess(const std::vector<std::string> &extraArgs = {});
    // Starting from a copy of the memory in another simulator's state folder.
    TSimProcess(const std::vector<std::string> &extraArgs, const std::filesystem::path &stateFrom);
    ~TSimProcess();
    TSimProcess(const TSimProcess &) = delete;
    TSimProcess &operator=(const TSimProcess &) = delete;

    const std::string &Line() const { return line_; }
    std::filesystem::path StateFolder() const { return folder_.Path() / "state"; }
    const TempFolder &Folder() const { return folder_; }
    // The simulator's record area and EEPROM as its state folder holds them
    // (written after every accepted write).
    std::vector<uint8_t> Flash() const { return TempFolder::Read(StateFolder() / "flash.bin"); }
    std::vector<uint8_t> Eeprom() const { return TempFolder::Read(StateFolder() / "eeprom.bin"); }
    std::vector<uint8_t> Firmware() const { return TempFolder::Read(StateFolder() / "firmware.bin"); }
    std::vector<uint8_t> Slot(int slot) const;

    // velkctl with --port set to this simulator's line.
    TRunResult Ctl(std::vector<std::string> args, const TRunOptions &options = {}) const;

private:
    TSimProcess(const std::vector<std::string> &extraArgs, const std::filesystem::path *stateFrom);

    TempFolder folder_;
    std::string line_;
    pid_t pid_ = -1;
    int output_ = -1;
    int endsWith_ = 0; // the exit code the simulator must end with
};
