#include "ctldecoderlabels.h"

#include "velklink.h"

#include <algorithm>
#include <set>

std::string FileSafe(std::string label) {
    for (char &c : label)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
            std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
    if (label.empty())
        return "port";
    if (std::all_of(label.begin(), label.end(), [](char c) { return c == '.'; }))
        return "_";
    return label;
}

std::string PortLabel(const TPortInfo &port) {
    if (velk_port_name name{}; velk_check_port_name(port.Device.c_str(), &name) == VELK_OK && name.remote)
        return FileSafe(std::string(name.host) + "-" + std::to_string(name.tcp_port));
    const std::size_t slash = port.Device.find_last_of("/\\");
    return FileSafe(slash == std::string::npos ? port.Device : port.Device.substr(slash + 1));
}

namespace {

std::string BaseLabel(const TPortInfo &port) {
    return port.Serial.empty() ? PortLabel(port) : FileSafe(port.Serial);
}

} // namespace

std::vector<std::string> DecoderLabels(const std::vector<TPortInfo> &ports) {
    std::vector<std::string> labels;
    for (const TPortInfo &port : ports)
        labels.push_back(BaseLabel(port));
    // Every label as it first comes is kept; a repeated one takes the first
    // free number, free also of the labels that come later.
    std::set<std::string> taken(labels.begin(), labels.end());
    std::set<std::string> given;
    for (std::string &label : labels) {
        if (given.insert(label).second)
            continue;
        for (int n = 2;; ++n) {
            const std::string numbered = label + "-" + std::to_string(n);
            if (taken.insert(numbered).second) {
                label = numbered;
                break;
            }
        }
    }
    return labels;
}
