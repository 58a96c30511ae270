// What the system knows about its serial ports beyond their names. On Linux
// sysfs tells the driver, and for USB adapters the IDs, maker, product, serial
// number, the adapter's latency timer and the stable name under
// /dev/serial/by-id. On Windows only the names are known: the details stay
// empty. Texts are UTF-8 (sysfs gives the USB strings that way), not the
// Windows-1252 of the rest of the library, as the session interface hands
// them on unchanged.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct TPortDescription {
    std::string Device;                                             // "/dev/ttyUSB0", "COM3"
    std::string Driver;                                             // "ftdi_sio", "serial8250"; empty when unknown
    std::string VendorId, ProductId, Manufacturer, Product, Serial; // USB only; IDs as sysfs writes them
    std::string ById;                                               // "/dev/serial/by-id/usb-..."
    std::optional<int> LatencyMs;                                   // the adapter's latency_timer
};

// Where the description is read from on Linux (not used on Windows); tests
// point it at a fake tree.
struct TSysfsPaths {
    std::string TtyClass = "/sys/class/tty";
    std::string ById = "/dev/serial/by-id";
};

// The port a name stands for (any name OpenComPort takes, in UTF-8; a link
// such as a by-id name leads to its device), as the system describes it. A
// remote port, and any port on Windows, is its name alone.
TPortDescription DescribeComPort(const std::string &name, const TSysfsPaths &paths = {});
// Every serial port TCustomComPort::EnumComPorts lists, in its order, each
// under its listed name. Throws EComPort when the list cannot be read.
std::vector<TPortDescription> DescribeComPorts(const TSysfsPaths &paths = {});
