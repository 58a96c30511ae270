// Port names and the list of the system's serial ports.
#include "CPort.h"
#include "CPortRemoteName.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>

namespace {

bool LessIgnoringCase(const std::string &a, const std::string &b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

// "COMn" (any case) with n >= 1: the number n, else 0.
int ComNumber(const std::string &name) {
    if (name.size() < 4 || name.size() > 9)
        return 0;
    for (size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return 0;
    int n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

// The 8250 driver registers its legacy ports (ttyS0 to ttyS3) whether or not a
// UART answers behind them; the serial core shows such a port's UART type in
// its "type" entry as 0 (PORT_UNKNOWN). Opening one fails, so it is no port.
bool IsUnknownUart(int classDir, const std::string &name) {
    const int fd = ::openat(classDir, (name + "/type").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[16] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    return n > 0 && std::atoi(text) == 0 && text[0] == '0';
}

} // namespace

std::string TCustomComPort::DevicePath(const std::string &name) {
    if ((!name.empty() && name[0] == '/') || ParseRemoteName(name))
        return name;
    if (int n = ComNumber(name); n >= 1)
        return "/dev/ttyS" + std::to_string(n - 1);
    return "/dev/" + name;
}

void TCustomComPort::EnumComPorts(std::vector<std::string> &names, const std::string &root) {
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(root.c_str()), ::closedir);
    if (!dir)
        throw EComPort(ceRegistry, errno);
    std::vector<std::string> found;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir.get());
        if (entry == nullptr) {
            if (errno != 0)
                throw EComPort(ceRegistry, errno);
            break;
        }
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        // Only ttys backed by a device are serial ports; virtual consoles and
        // pseudo-terminals have no "device" entry.
        struct stat st;
        if (::fstatat(::dirfd(dir.get()), (name + "/device").c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (IsUnknownUart(::dirfd(dir.get()), name))
            continue;
        found.push_back("/dev/" + name);
    }
    std::stable_sort(found.begin(), found.end(), LessIgnoringCase);
    names = std::move(found);
}
