// Port names that reach a serial line over the network, in the URL forms that
// serial tools take:
//
//   rfc2217://HOST:PORT   a Telnet connection whose line is set up with the
//                         COM-PORT-OPTION (the port's line settings apply)
//   socket://HOST:PORT    a plain TCP connection to a line set up at the server
//
// HOST is a name, an IPv4 address or an IPv6 address in brackets ("[::1]");
// PORT is a TCP port number from 1 to 65535. The scheme is matched ignoring
// case. Any other name is a device name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class TRemoteKind { Rfc2217, Socket };

struct TRemoteName {
    TRemoteKind Kind = TRemoteKind::Rfc2217;
    std::string Host; // without the brackets of an IPv6 address
    uint16_t Port = 0;
    // What is wrong with a name that has a remote scheme but no valid
    // HOST:PORT after it; empty for a valid name.
    std::string Error;

    // "HOST:PORT" as failure messages name it ("[::1]:7000").
    std::string Address() const;
};

// The remote name that name is, or nothing for a device name.
std::optional<TRemoteName> ParseRemoteName(const std::string &name);
