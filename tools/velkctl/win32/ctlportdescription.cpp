// The serial ports as Windows lists them: names only, since the registry's
// list of serial devices holds nothing more; the details stay empty and no
// port gets latency advice.
#include "ctlportinfo.h"

#include "CPort.h"
#include "velkcodepage.h"

TPortInfo DescribePort(const std::string &device, const TSysfsPaths &) {
    TPortInfo port;
    port.Device = device;
    return port;
}

std::vector<TPortInfo> DescribePorts(const TSysfsPaths &paths) {
    std::vector<std::string> names;
    TCustomComPort::EnumComPorts(names);
    std::vector<TPortInfo> ports;
    for (const std::string &name : names)
        ports.push_back(DescribePort(Cp1252ToUtf8(name), paths));
    return ports;
}

std::string PortNameHelp() {
    return "Serial port: COMn, or a remote port rfc2217://HOST:PORT or socket://HOST:PORT";
}

std::string PortArgument(const std::string &name) {
    return name;
}
