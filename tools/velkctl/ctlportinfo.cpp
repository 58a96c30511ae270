#include "ctlportinfo.h"

#include "ctlerror.h"

#include <filesystem>

TPortInfo PortInfo(const velk_port_info &info) {
    TPortInfo port;
    port.Device = info.device;
    port.Driver = info.driver;
    port.VendorId = info.vendor_id;
    port.ProductId = info.product_id;
    port.Manufacturer = info.manufacturer;
    port.Product = info.product;
    port.Serial = info.serial;
    port.ById = info.by_id;
    if (info.latency_ms >= 0)
        port.LatencyMs = info.latency_ms;
    return port;
}

TPortInfo DescribePort(const std::string &device) {
    velk_port_info info;
    if (velk_describe_port(device.c_str(), &info) == VELK_OK)
        return PortInfo(info);
    TPortInfo port;
    port.Device = device;
    return port;
}

std::vector<TPortInfo> DescribePorts() {
    // Room for a few more ports than counted, as one may appear between the
    // count and the listing; then the count is asked again, a few times at most.
    for (int attempt = 0; attempt < 4; ++attempt) {
        uint32_t count = 0;
        if (velk_list_ports(nullptr, 0, &count) != VELK_OK)
            throw ECtlFailed(velk_message(nullptr));
        std::vector<velk_port_info> listed(count + 4);
        const velk_result result = velk_list_ports(listed.data(), static_cast<uint32_t>(listed.size()), &count);
        if (result == VELK_ERR_ARGUMENT && count > listed.size())
            continue;
        if (result != VELK_OK)
            throw ECtlFailed(velk_message(nullptr));
        std::vector<TPortInfo> ports;
        for (uint32_t i = 0; i < count; ++i)
            ports.push_back(PortInfo(listed[i]));
        return ports;
    }
    throw ECtlFailed("the list of serial ports kept changing while it was read");
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
