#include <windows.h>

#include "QueueSignalled.h"

#include <cstdint>

bool QueueSignalled(int32_t handle) {
    return ::WaitForSingleObject(reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)), 0) == WAIT_OBJECT_0;
}
