// TPortSelector: what --port (or VELK_PORT) names, turned into the ports to
// open. Besides a port's own name it takes
//   usb:SERIAL, usb:VVVV:PPPP, usb:VVVV:PPPP:SERIAL  adapters by USB identity
//                                                   (IDs as four hex digits);
//   a pattern with * and ?                          over the port names and the
//                                                   /dev/serial/by-id names;
//   @FILE                                           the ports FILE lists, one a
//                                                   line, # starting a comment.
// USB adapters move from /dev/ttyUSB0 to /dev/ttyUSB1 when plugged in again;
// their serial number and by-id name stay, so a bench names them that way.
// Only selectors read the system's port listing: a plain name (a path, COMn,
// rfc2217://HOST:PORT), also on a line of a file, comes back as it is, and a
// relative path stays relative to the working folder, as on the command line.
#pragma once

#include "ctlportinfo.h"

#include <functional>
#include <string>
#include <vector>

class TPortSelector {
public:
    // Where the system's ports come from: the library's listing, or a test's.
    using TListing = std::function<std::vector<TPortInfo>()>;
    explicit TPortSelector(TListing listing = DescribePorts);

    // What a selector may be, for the help text.
    static std::string Help();

    // Whether text is a selector rather than the name of one port.
    static bool IsSelector(const std::string &text);

    // The ports text names, each once: a USB selector's and a pattern's in the
    // listing's order, a file's in its own. A plain name comes back alone with
    // only its Device set. Throws ECtlUsage for a malformed selector, a file
    // that cannot be read or lists no port, and a selector matching no port
    // (naming the ports this machine has).
    std::vector<TPortInfo> Resolve(const std::string &text) const;

private:
    std::vector<TPortInfo> ResolveFile(const std::string &file) const;
    // One line of a file or the whole of --port; listing is read at most once.
    std::vector<TPortInfo> ResolveOne(const std::string &text, std::vector<TPortInfo> &listing, bool &listed) const;

    TListing listing_;
};
