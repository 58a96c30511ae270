#include "ctlportinfo.h"

#include "CPort.h"
#include "velkcodepage.h"

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
// has an idVendor entry.
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

TPortInfo DescribePort(const std::string &device, const TSysfsPaths &paths) {
    TPortInfo port;
    std::error_code error;
    // A by-id name or another link leads to the device itself.
    const fs::path real = fs::weakly_canonical(device, error);
    port.Device = error ? device : real.string();
    const std::string name = fs::path(port.Device).filename().string();
    const fs::path tty = fs::path(paths.TtyClass) / name / "device";
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
        if (fs::read_symlink(link.path(), reading).filename() == name && !reading) {
            port.ById = link.path().string();
            break;
        }
    }
    return port;
}

std::vector<TPortInfo> DescribePorts(const TSysfsPaths &paths) {
    std::vector<std::string> names;
    TCustomComPort::EnumComPorts(names, paths.TtyClass);
    std::vector<TPortInfo> ports;
    for (const std::string &name : names) {
        TPortInfo port = DescribePort(Cp1252ToUtf8(name), paths);
        port.Device = Cp1252ToUtf8(name); // as listed, whatever it links to
        ports.push_back(port);
    }
    return ports;
}

nlohmann::json PortJson(const TPortInfo &port) {
    auto text = [](const std::string &value) { return value.empty() ? nlohmann::json() : nlohmann::json(value); };
    return {{"device", port.Device},
            {"driver", text(port.Driver)},
            {"vendor_id", text(port.VendorId)},
            {"product_id", text(port.ProductId)},
            {"manufacturer", text(port.Manufacturer)},
            {"product", text(port.Product)},
            {"serial", text(port.Serial)},
            {"by_id", text(port.ById)},
            {"latency_timer_ms", port.LatencyMs ? nlohmann::json(*port.LatencyMs) : nlohmann::json()}};
}

std::string PortText(const TPortInfo &port) {
    std::string out = port.Device;
    if (!port.Driver.empty())
        out += "  (" + port.Driver + ")";
    out += "\n";
    if (!port.VendorId.empty())
        out += "    USB " + port.VendorId + ":" + port.ProductId + "  " + port.Manufacturer +
               (port.Manufacturer.empty() || port.Product.empty() ? "" : " ") + port.Product +
               (port.Serial.empty() ? "" : "  serial " + port.Serial) + "\n";
    if (!port.ById.empty())
        out += "    " + port.ById + "\n";
    if (port.LatencyMs)
        out += "    latency timer " + std::to_string(*port.LatencyMs) + " ms\n";
    return out;
}

std::string LatencyAdvice(const TPortInfo &port) {
    if (!port.LatencyMs || *port.LatencyMs <= LatencyWarningMs)
        return {};
    const std::string name = std::filesystem::path(port.Device).filename().string();
    return "the USB adapter " + port.Device + " holds small reads for " + std::to_string(*port.LatencyMs) +
           " ms (its latency timer), which every exchange pays; set it to 1 ms with\n"
           "  echo 1 | sudo tee /sys/bus/usb-serial/devices/" +
           name +
           "/latency_timer\n"
           "or for good with a udev rule such as\n"
           "  ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
           "ATTR{latency_timer}=\"1\"";
}
