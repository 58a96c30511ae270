// Why a serial port could not be opened or went away, for people: the system's reason in
// words and what to do about it. The library's own message ("Errore
// connettendo la porta %s.") says only that it failed.
#pragma once

#include <string>

// The cause of an open of device that failed with the system error code error
// (errno on Linux, GetLastError on Windows), with a hint: "no such device",
// "permission denied (add your user to the group that owns the device,
// usually dialout)", "in use by another program" (naming the process when the
// system's lock table tells), "not a serial port", on Windows "in use by
// another program or access denied", else the system's own text.
std::string OpenFailureCause(int error, const std::string &device);

// The system's own text for an error code (errno on Linux, GetLastError on
// Windows), "unknown cause" for -1.
std::string SystemErrorText(int error);
