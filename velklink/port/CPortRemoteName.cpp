#include "CPortRemoteName.h"

#include <cctype>
#include <string_view>

namespace {

bool StartsIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

// A decimal TCP port number 1..65535, else 0.
uint16_t PortNumber(std::string_view text) {
    if (text.empty() || text.size() > 5)
        return 0;
    uint32_t value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return 0;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value <= 65535 ? static_cast<uint16_t>(value) : 0;
}

} // namespace

std::string TRemoteName::Address() const {
    const bool v6 = Host.find(':') != std::string::npos;
    return (v6 ? "[" + Host + "]" : Host) + ":" + std::to_string(Port);
}

std::optional<TRemoteName> ParseRemoteName(const std::string &name) {
    static constexpr std::string_view kRfc2217 = "rfc2217://", kSocket = "socket://";
    TRemoteName remote;
    std::string_view rest = name;
    if (StartsIgnoringCase(rest, kRfc2217)) {
        remote.Kind = TRemoteKind::Rfc2217;
        rest.remove_prefix(kRfc2217.size());
    } else if (StartsIgnoringCase(rest, kSocket)) {
        remote.Kind = TRemoteKind::Socket;
        rest.remove_prefix(kSocket.size());
    } else {
        return std::nullopt;
    }
    const std::string form = remote.Kind == TRemoteKind::Rfc2217 ? "rfc2217://HOST:PORT" : "socket://HOST:PORT";
    std::string_view host, port;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) {
            remote.Error = "unclosed [ in " + name + " (use " + form + ", an IPv6 HOST in brackets)";
            return remote;
        }
        host = rest.substr(1, close - 1);
        rest.remove_prefix(close + 1);
        if (rest.empty() || rest[0] != ':') {
            remote.Error = "no port number in " + name + " (use " + form + ")";
            return remote;
        }
        port = rest.substr(1);
    } else {
        const size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos) {
            remote.Error = "no port number in " + name + " (use " + form + ")";
            return remote;
        }
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (host.find(':') != std::string_view::npos) {
            remote.Error = "an IPv6 HOST needs brackets in " + name + " (rfc2217://[::1]:PORT)";
            return remote;
        }
    }
    if (host.empty() || host.find_first_of("/[] ") != std::string_view::npos) {
        remote.Error = "no valid host in " + name + " (use " + form + ")";
        return remote;
    }
    remote.Port = PortNumber(port);
    if (remote.Port == 0) {
        remote.Error = "no port number from 1 to 65535 in " + name + " (use " + form + ")";
        return remote;
    }
    remote.Host = host;
    return remote;
}
