// Checks of the --link path before the simulator starts serving: the folder
// the link goes into must exist and be writable, and a link that another
// velksim serves is not taken over (that simulator would lose its PC).
#pragma once

#include <string>

namespace velksim {

// ESimUsage with the system's reason when the link cannot be made in its
// folder, or naming the path and the simulator that serves it.
void CheckLinkPath(const std::string &linkPath);

// The velksim process, other than this one, that holds open the device the
// link points to, as "process PID"; empty when none does. procRoot is the
// process table (/proc).
std::string LinkServedBy(const std::string &linkPath, const std::string &procRoot = "/proc");

} // namespace velksim
