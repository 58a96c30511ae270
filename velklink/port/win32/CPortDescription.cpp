// The serial ports as Windows lists them: names only, since the registry's
// list of serial devices holds nothing more; the details stay empty.
#include "CPortDescription.h"

#include "CPort.h"
#include "velkcodepage.h"

TPortDescription DescribeComPort(const std::string &name, const TSysfsPaths &) {
    TPortDescription port;
    port.Device = name;
    return port;
}

std::vector<TPortDescription> DescribeComPorts(const TSysfsPaths &paths) {
    std::vector<std::string> names;
    TCustomComPort::EnumComPorts(names);
    std::vector<TPortDescription> ports;
    for (const std::string &name : names)
        ports.push_back(DescribeComPort(Cp1252ToUtf8(name), paths));
    return ports;
}
