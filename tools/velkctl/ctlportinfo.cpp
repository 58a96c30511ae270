#include "ctlportinfo.h"

#include <filesystem>

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
