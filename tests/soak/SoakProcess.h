// What the process holds: its open descriptors and its threads, counted from
// /proc, so that a run can show it left nothing behind.
#pragma once

#include <dirent.h>

namespace soak_process {

inline int CountEntries(const char *folder) {
    int count = 0;
    if (DIR *dir = ::opendir(folder)) {
        while (const dirent *entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        ::closedir(dir);
    }
    return count;
}

} // namespace soak_process

// The listing's own descriptor is not counted.
inline int OpenDescriptors() {
    return soak_process::CountEntries("/proc/self/fd") - 1;
}
inline int RunningThreads() {
    return soak_process::CountEntries("/proc/self/task");
}
