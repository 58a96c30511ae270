// What --port takes on Windows.
#include "ctlportinfo.h"

std::string PortNameHelp() {
    return "Serial port: COMn, or a remote port rfc2217://HOST:PORT or socket://HOST:PORT";
}

std::string PortArgument(const std::string &name) {
    return name;
}
