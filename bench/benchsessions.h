// The session interface's concurrency figures: a paced 64 KiB flash read by
// one session, and by four sessions on four threads at once, each on a
// simulator of its own, through the shared library. Four at once should take
// the wall time of one (within 5 %) and at most four times its CPU.
#pragma once

#include "benchreport.h"
#include "benchsimhost.h"

#include <string>
#include <vector>

// The two rows, one session first; hosts holds four simulators, paced here.
std::vector<TBenchRow> MeasureSessions(const std::vector<TBenchSimHost *> &hosts, int runs);
// The targets the two rows miss, as lines for the report.
std::vector<std::string> MissedSessionTargets(const std::vector<TBenchRow> &rows);
