// What the system knows about its serial ports, as the library lists them
// (velk_list_ports): on Linux the driver, and for USB adapters the IDs, maker,
// product, serial number, the adapter's latency timer and the stable name
// under /dev/serial/by-id. On Windows only the names are known: the details
// stay empty.
#pragma once

#include "velklink.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

struct TPortInfo {
    std::string Device;                                             // "/dev/ttyUSB0"
    std::string Driver;                                             // "ftdi_sio", "serial8250"; empty when unknown
    std::string VendorId, ProductId, Manufacturer, Product, Serial; // USB only
    std::string ById;                                               // "/dev/serial/by-id/usb-..."
    std::optional<int> LatencyMs;                                   // the adapter's latency_timer
};

// A port as the library describes it.
TPortInfo PortInfo(const velk_port_info &info);
// The port of device (a path under /dev or a link to one, such as a by-id
// name), as the library describes it; the name alone when it cannot.
TPortInfo DescribePort(const std::string &device);
// Every serial port the library lists. Throws ECtlFailed with the library's
// message when the system's list cannot be read.
std::vector<TPortInfo> DescribePorts();
// What --port takes on this system, for the help text.
std::string PortNameHelp();
// The port name to open for what --port says: on POSIX a name with a "/" in
// it is a path, so a relative one is made absolute (the library takes any
// name not starting with "/" as a name under /dev); remote names and plain
// names are kept.
std::string PortArgument(const std::string &name);

nlohmann::json PortJson(const TPortInfo &port);
// One line for the port and its details indented below it.
std::string PortText(const TPortInfo &port);

// A latency timer above this makes every turnaround of the protocol wait.
inline constexpr int LatencyWarningMs = 2;
// The advice for an adapter whose latency timer is above LatencyWarningMs;
// empty when there is nothing to say.
std::string LatencyAdvice(const TPortInfo &port);
