#include "ctlopenfailure.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string FirstLine(const std::string &file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The process that holds a lock on the file, as "NAME (process PID)", from the
// kernel's lock table; empty when none does.
std::string LockHolder(const std::string &device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0)
        return {};
    // Each line: "1: FLOCK  ADVISORY  WRITE 4242 00:05:87 0 EOF", the file as
    // major:minor:inode of the device that holds it, in hexadecimal and decimal.
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long>(info.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        if (!(fields >> number >> kind >> mode >> access >> pid >> file) || file != wanted)
            continue;
        const std::string name = FirstLine("/proc/" + pid + "/comm");
        return (name.empty() ? std::string("a process") : name) + " (process " + pid + ")";
    }
    return {};
}

} // namespace

std::string OpenFailureCause(int error, const std::string &device) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return "no such device";
    case EACCES:
    case EPERM:
        return "permission denied (add your user to the group that owns the device, usually "
               "dialout)";
    case EBUSY:
    case EWOULDBLOCK: {
        const std::string holder = LockHolder(device);
        return "in use by another program" + (holder.empty() ? std::string() : ": " + holder);
    }
    case ENOTTY:
    case EISDIR:
        return "not a serial port";
    default:
        return SystemErrorText(error);
    }
}

std::string SystemErrorText(int error) {
    return error > 0 ? std::string(std::strerror(error)) : std::string("unknown cause");
}
