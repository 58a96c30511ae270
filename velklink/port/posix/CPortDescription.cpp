// The serial ports as sysfs describes them.
#include "CPortDescription.h"

#include "CPort.h"
#include "CPortRemoteName.h"
#include "velkcodepage.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path &file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// The USB device a tty hangs under: the nearest folder above its device that
// has an idVendor entry. Eight levels reach from a tty's device up to its USB
// device through any interface and hub folders sysfs puts between them.
std::optional<fs::path> UsbDevice(const fs::path &ttyDevice) {
    std::error_code error;
    fs::path at = fs::canonical(ttyDevice, error);
    if (error)
        return std::nullopt;
    for (int depth = 0; depth < 8 && at.has_relative_path(); ++depth, at = at.parent_path())
        if (fs::exists(at / "idVendor", error))
            return at;
    return std::nullopt;
}

} // namespace

TPortDescription DescribeComPort(const std::string &name, const TSysfsPaths &paths) {
    TPortDescription port;
    if (ParseRemoteName(name)) {
        port.Device = name;
        return port;
    }
    // A by-id name or another link leads to the device itself.
    const std::string device = TCustomComPort::DevicePath(name);
    std::error_code error;
    const fs::path real = fs::weakly_canonical(device, error);
    port.Device = error ? device : real.string();
    const std::string file = fs::path(port.Device).filename().string();
    const fs::path tty = fs::path(paths.TtyClass) / file / "device";
    port.Driver = fs::read_symlink(tty / "driver", error).filename().string();
    if (const std::string latency = FirstLine(tty / "latency_timer"); !latency.empty())
        port.LatencyMs = std::atoi(latency.c_str());
    if (const auto usb = UsbDevice(tty)) {
        port.VendorId = FirstLine(*usb / "idVendor");
        port.ProductId = FirstLine(*usb / "idProduct");
        port.Manufacturer = FirstLine(*usb / "manufacturer");
        port.Product = FirstLine(*usb / "product");
        port.Serial = FirstLine(*usb / "serial");
    }
    // The by-id links name their device relatively ("../../ttyUSB0").
    for (const fs::directory_entry &link : fs::directory_iterator(paths.ById, error)) {
        std::error_code reading;
        if (fs::read_symlink(link.path(), reading).filename() == file && !reading) {
            port.ById = link.path().string();
            break;
        }
    }
    return port;
}

std::vector<TPortDescription> DescribeComPorts(const TSysfsPaths &paths) {
    std::vector<std::string> names;
    TCustomComPort::EnumComPorts(names, paths.TtyClass);
    std::vector<TPortDescription> ports;
    for (const std::string &name : names) {
        TPortDescription port = DescribeComPort(Cp1252ToUtf8(name), paths);
        port.Device = Cp1252ToUtf8(name); // as listed, whatever it links to
        ports.push_back(port);
    }
    return ports;
}
