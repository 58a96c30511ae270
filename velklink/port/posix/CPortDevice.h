// What the serial port holds of its device on Linux: the tty's descriptor.
#pragma once

#include "velkdescriptor.h"

#include <cerrno>

using TPortDevice = TDescriptor;

// Where the list of the system's serial ports is read from.
inline constexpr const char *kPortListRoot = "/sys/class/tty";
