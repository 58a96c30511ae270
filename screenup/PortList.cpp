#include "PortList.h"

#include "ScreenupTexts.h"
#include "Windows1252.h"
#include "velklink.h"

#include <algorithm>

namespace {

// The serial ports the system has, as the library lists them.
std::vector<std::u16string> SystemPorts() {
    std::vector<std::u16string> ports;
    const int32_t count = GetComPort(-1, nullptr);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t length = GetComPort(i, nullptr);
        if (length < 0)
            break;
        // The name, its own zero and one more.
        std::vector<char> name(static_cast<std::size_t>(length) + 2, '\0');
        if (GetComPort(i, name.data()) < 0)
            break;
        ports.push_back(FromWindows1252(name.data()));
    }
    return ports;
}

} // namespace

std::vector<std::u16string> PortListEntries(const std::u16string &first) {
    std::vector<std::u16string> ports;
    for (const std::string_view fixed : FixedPorts)
        ports.emplace_back(fixed.begin(), fixed.end());
    for (std::u16string &port : SystemPorts())
        ports.push_back(std::move(port));
    if (!first.empty()) {
        std::erase(ports, first);
        ports.insert(ports.begin(), first);
    }
    return ports;
}
