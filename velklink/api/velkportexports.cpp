// The port listing of the session interface: the machine's serial ports with
// what the system tells of them, as fixed-size C records.
#include "velklink.h"

#include "CPortDescription.h"
#include "CPortError.h"
#include "velkcodepage.h"
#include "velksession.h"
#include "velksessionexports.h"
#include "velksessionfailure.h"
#include "velksessionnames.h"

#include <cstring>
#include <system_error>
#include <vector>

namespace {

// value into field, whole and zero-terminated, or a failure naming what did
// not fit: a port name cut short could name another port.
template <std::size_t N> void CopyField(char (&field)[N], const std::string &value, const char *what) {
    if (value.size() >= N)
        throw TSessionFailure(VELK_ERR_ARGUMENT, std::string("the port's ") + what + " \"" + value +
                                                     "\" is longer than the " + Decimal(N - 1) +
                                                     " bytes velk_port_info holds");
    std::memcpy(field, value.c_str(), value.size() + 1);
}

void Fill(velk_port_info &info, const TPortDescription &port) {
    std::memset(&info, 0, sizeof info);
    CopyField(info.device, port.Device, "device");
    CopyField(info.by_id, port.ById, "by-id name");
    CopyField(info.serial, port.Serial, "serial number");
    CopyField(info.vendor_id, port.VendorId, "vendor ID");
    CopyField(info.product_id, port.ProductId, "product ID");
    CopyField(info.manufacturer, port.Manufacturer, "manufacturer");
    CopyField(info.product, port.Product, "product");
    CopyField(info.driver, port.Driver, "driver");
    info.latency_ms = port.LatencyMs.value_or(-1);
}

velk_result PortFailure(const EComPort &error) {
    std::string message = Cp1252ToUtf8(error.Message());
    if (!error.Cause().empty())
        message += ": " + Cp1252ToUtf8(error.Cause());
    else if (error.SystemCode() > 0)
        message += ": " + std::system_category().message(error.SystemCode());
    return ThreadResult(VELK_ERR_PORT, message);
}

// Runs work, turning what it throws into the result and the calling thread's
// failure.
template <typename Work> velk_result PortCall(const char *name, Work &&work) noexcept {
    try {
        try {
            work();
            return ThreadResult(VELK_OK);
        } catch (const TSessionFailure &failure) {
            return ThreadResult(failure.Code(), std::string(name) + ": " + failure.what());
        } catch (const EComPort &error) {
            return PortFailure(error);
        } catch (const std::exception &error) {
            return ThreadResult(VELK_ERR_PORT, std::string(name) + ": " + error.what());
        }
    } catch (const std::exception &) {
        return VELK_ERR_PORT; // no memory left for the message
    }
}

} // namespace

extern "C" {

VELK_EXPORT velk_result VELK_CALL velk_list_ports(velk_port_info *ports, uint32_t capacity, uint32_t *count) {
    return PortCall("velk_list_ports", [&] {
        if (count == nullptr)
            throw TSessionFailure(VELK_ERR_ARGUMENT, "no place for the count");
        *count = 0;
        const std::vector<TPortDescription> listed = DescribeComPorts();
        // Filled apart first, so that a failure leaves the host's records as
        // they were.
        std::vector<velk_port_info> records(ports != nullptr ? listed.size() : 0);
        for (std::size_t i = 0; i < records.size(); ++i)
            Fill(records[i], listed[i]);
        *count = static_cast<uint32_t>(listed.size());
        if (ports == nullptr)
            return;
        if (capacity < listed.size())
            throw TSessionFailure(VELK_ERR_ARGUMENT, "room for " + Decimal(capacity) + " ports, the machine has " +
                                                         Decimal(static_cast<int64_t>(listed.size())));
        std::memcpy(ports, records.data(), records.size() * sizeof(velk_port_info));
    });
}

VELK_EXPORT velk_result VELK_CALL velk_describe_port(const char *port, velk_port_info *info) {
    return PortCall("velk_describe_port", [&] {
        if (info == nullptr)
            throw TSessionFailure(VELK_ERR_ARGUMENT, "no place for the description");
        const std::string name = SessionName(port, "port", 0);
        velk_port_info record;
        Fill(record, DescribeComPort(Cp1252ToUtf8(name)));
        *info = record;
    });
}

} // extern "C"
