// The fault profiles of the soak: each is one kind of fault the simulator
// injects (or a mix of several), drawn afresh before every operation.
#pragma once

#include "velksimfaults.h"

#include <random>
#include <string>
#include <vector>

struct TSoakProfile {
    std::string name;
    velksim::TSimFaults faults;
};

// A profile drawn by the soak's own dice; the simulator's dice get a seed
// drawn from them too.
TSoakProfile DrawProfile(std::mt19937_64 &dice);
// The names of every kind of profile, to report which ones ran.
const std::vector<std::string> &ProfileNames();
