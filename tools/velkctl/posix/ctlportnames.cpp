// What --port takes on a POSIX system.
#include "ctlportinfo.h"

#include <filesystem>

std::string PortNameHelp() {
    return "Serial port: a device path (a name with a / in it, such as ./line), COMn (/dev/ttyS(n-1)), a name "
           "under /dev, or a remote port rfc2217://HOST:PORT or socket://HOST:PORT";
}

std::string PortArgument(const std::string &name) {
    if (name.empty() || name.front() == '/' || name.find('/') == std::string::npos ||
        name.find("://") != std::string::npos)
        return name;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(name, error);
    return error ? name : absolute.lexically_normal().string();
}
