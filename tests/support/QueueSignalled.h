// Whether the handle of a thread's message queue says that messages wait now:
// the descriptor readable on Linux, the event signalled on Windows.
#pragma once

#include <cstdint>

bool QueueSignalled(int32_t handle);
