#include "QueueSignalled.h"

#include <poll.h>

bool QueueSignalled(int32_t handle) {
    pollfd p{handle, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}
