// The simulator's exceptions. Their messages are English and name what went
// wrong for the person who started the simulator.
#pragma once

#include "velkerror.h"

namespace velksim {

VELK_DECLARE_EXCEPTION(ESim, EVelk);
// A memory access outside the decoder's memories.
VELK_DECLARE_EXCEPTION(ESimRange, ESim);
// The state folder cannot be read, locked or written.
VELK_DECLARE_EXCEPTION(ESimState, ESim);
// The line cannot be created or opened, or has gone.
VELK_DECLARE_EXCEPTION(ESimLine, ESim);
// A bad command-line option or value.
VELK_DECLARE_EXCEPTION(ESimUsage, ESim);

} // namespace velksim
