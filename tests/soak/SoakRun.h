// TSoakRun: a seeded random sequence of record saves (new items and
// replacements), loads, refreshes and raw flash and EEPROM transfers, each under
// a fault profile drawn afresh, against the decoder simulator. After every
// operation it checks that the operation ended within its bound, that a success
// left exactly the expected bytes in the decoder's memory and a failure left
// every record slot as before or as intended (and no slot invalid), and that
// the library is free for the next operation with the same descriptors open.
// At the end, on a sound line, a full refresh must find every record the
// decoder holds and load every item byte for byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TSoakOptions {
    uint64_t seed = 1;
    std::chrono::seconds budget{30}; // operations start until this much time has passed
    std::string stateFolder;
    // When above 0, exactly this many operations run, whatever the budget: a
    // replay of a seed stops right after the operation it is about.
    int operations = 0;
};

struct TSoakStats {
    int operations = 0;
    int succeeded = 0;
    int failed = 0;
    int shortReads = 0; // a read answered with another size, seen by the caller
    int reopens = 0;
    int errorReports = 0; // errors the library reported through its error sink
    double longestSeconds = 0;
    std::string longest; // which operation that was
    std::map<std::string, int> profiles;
    std::map<std::string, int> operationKinds;
};

class TSoakRun {
public:
    explicit TSoakRun(TSoakOptions options);

    // Runs the operations; returns what went wrong (empty when nothing did). The
    // first violation ends the run.
    std::vector<std::string> Run();
    const TSoakStats &Stats() const { return stats_; }
    std::string Summary() const;

    // An operation that has not ended after this long is a hang.
    static constexpr std::chrono::seconds kOperationBound{90};
    // An operation under which the decoder hangs up the line ends this soon after.
    static constexpr std::chrono::milliseconds kHangUpBound{1000};

private:
    TSoakOptions options_;
    TSoakStats stats_;
};
