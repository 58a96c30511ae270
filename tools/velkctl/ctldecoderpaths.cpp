#include "ctldecoderpaths.h"

#include "ctldecoderlabels.h"
#include "ctlerror.h"

#include <array>
#include <map>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 4> kPlaceholders = {"{label}", "{port}", "{serial}", "{index}"};

std::string Value(std::string_view placeholder, const TDecoderName &decoder, const std::string &what) {
    if (placeholder == "{label}")
        return decoder.Label;
    if (placeholder == "{port}")
        return PortLabel(decoder.Port);
    if (placeholder == "{index}")
        return std::to_string(decoder.Index);
    if (decoder.Port.Serial.empty())
        throw ECtlUsage(what + ": {serial} names the USB serial number, which the decoder on " + decoder.Port.Device +
                        " has none of");
    return FileSafe(decoder.Port.Serial);
}

} // namespace

std::vector<TDecoderName> NameDecoders(const std::vector<TPortInfo> &ports) {
    const std::vector<std::string> labels = DecoderLabels(ports);
    std::vector<TDecoderName> decoders;
    for (std::size_t i = 0; i < ports.size(); ++i)
        decoders.push_back({ports[i], labels[i], static_cast<int>(i + 1)});
    return decoders;
}

bool HasDecoderPlaceholder(const std::string &path) {
    for (std::string_view placeholder : kPlaceholders)
        if (path.find(placeholder) != std::string::npos)
            return true;
    return false;
}

std::string DecoderPath(const std::string &path, const TDecoderName &decoder, const std::string &what) {
    std::string out;
    for (std::size_t at = 0; at < path.size();) {
        bool replaced = false;
        for (std::string_view placeholder : kPlaceholders)
            if (path.compare(at, placeholder.size(), placeholder) == 0) {
                out += Value(placeholder, decoder, what);
                at += placeholder.size();
                replaced = true;
                break;
            }
        if (!replaced)
            out += path[at++];
    }
    return out;
}

std::vector<std::string> DecoderPaths(const std::string &path, const std::vector<TDecoderName> &decoders,
                                      const std::string &what) {
    std::vector<std::string> paths;
    std::map<std::string, const TDecoderName *> owners;
    for (const TDecoderName &decoder : decoders) {
        paths.push_back(DecoderPath(path, decoder, what));
        const auto [owner, added] = owners.emplace(paths.back(), &decoder);
        if (!added)
            throw ECtlUsage(what + ": \"" + path + "\" is \"" + paths.back() + "\" for both " + owner->second->Label +
                            " and " + decoder.Label +
                            "; give each decoder its own with {label}, {port}, {serial} or {index}");
    }
    return paths;
}
