// The termios speed constant of a line speed in bits per second.
#pragma once

#include <termios.h>

#include <cstdint>

// B0 for a rate the tty interface cannot express.
speed_t TermiosSpeed(int32_t bitsPerSecond);
