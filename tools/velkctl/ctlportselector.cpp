#include "ctlportselector.h"

#include "ctlerror.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

namespace {

constexpr std::string_view kUsbPrefix = "usb:";

// Whether pattern, where * stands for any run of characters and ? for any one,
// matches the whole of text. On a mismatch after a *, the * takes one more
// character and the rest is tried again: no recursion, at most
// pattern × text steps.
bool GlobMatch(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0;
    std::optional<std::size_t> star;
    std::size_t starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starText = t;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (star) {
            p = *star + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool IsRemote(std::string_view text) {
    return text.find("://") != std::string_view::npos;
}

bool IsPattern(std::string_view text) {
    return !IsRemote(text) && text.find_first_of("*?") != std::string_view::npos;
}

// Four hexadecimal digits, as sysfs writes a USB ID (lower case), or empty
// when text is not one.
std::string UsbId(std::string_view text) {
    if (text.size() != 4 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return {};
    std::string id(text);
    std::transform(id.begin(), id.end(), id.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return id;
}

struct TUsbSelector {
    std::string VendorId, ProductId; // both empty: any
    std::string Serial;              // empty: any
};

// usb:SERIAL, usb:VVVV:PPPP or usb:VVVV:PPPP:SERIAL. A serial number holding
// ":" is taken only after the IDs, so that a mistyped ID is reported rather
// than searched for as a serial number.
TUsbSelector ParseUsb(const std::string &text) {
    const std::string_view rest = std::string_view(text).substr(kUsbPrefix.size());
    const std::size_t first = rest.find(':');
    TUsbSelector usb;
    if (first == std::string_view::npos) {
        usb.Serial = rest;
    } else {
        const std::size_t second = rest.find(':', first + 1);
        usb.VendorId = UsbId(rest.substr(0, first));
        usb.ProductId = UsbId(rest.substr(first + 1, second == std::string_view::npos ? second : second - first - 1));
        if (second != std::string_view::npos) {
            usb.Serial = rest.substr(second + 1);
            if (usb.Serial.empty())
                usb.VendorId.clear(); // reported below
        }
        if (usb.VendorId.empty() || usb.ProductId.empty())
            throw ECtlUsage("--port: \"" + text +
                            "\" is no USB selector: usb:SERIAL, usb:VVVV:PPPP or usb:VVVV:PPPP:SERIAL, with the "
                            "vendor and product IDs as four hexadecimal digits each");
    }
    if (usb.VendorId.empty() && usb.Serial.empty())
        throw ECtlUsage("--port: \"usb:\" needs the adapter's serial number or its IDs (usb:VVVV:PPPP)");
    return usb;
}

bool Matches(const TUsbSelector &usb, const TPortInfo &port) {
    if (port.VendorId.empty())
        return false;
    if (!usb.VendorId.empty() && (UsbId(port.VendorId) != usb.VendorId || UsbId(port.ProductId) != usb.ProductId))
        return false;
    return usb.Serial.empty() || port.Serial == usb.Serial;
}

// A pattern is tried on each name a port goes by, whole and as a file name:
// "ttyUSB*" and "/dev/ttyUSB*", "*FTDI*" and "/dev/serial/by-id/*FTDI*".
bool Matches(const std::string &pattern, const TPortInfo &port) {
    for (const std::string *name : {&port.Device, &port.ById}) {
        if (name->empty())
            continue;
        if (GlobMatch(pattern, *name) || GlobMatch(pattern, std::filesystem::path(*name).filename().string()))
            return true;
    }
    return false;
}

std::string NoMatch(const std::string &selector, const std::vector<TPortInfo> &listing) {
    if (listing.empty())
        return "--port: no serial port matches \"" + selector + "\": this machine lists no serial port";
    std::string text = "--port: no serial port matches \"" + selector + "\"; the serial ports of this machine:";
    for (const TPortInfo &port : listing) {
        std::string lines = PortText(port);
        if (!lines.empty() && lines.back() == '\n')
            lines.pop_back();
        text += "\n" + lines;
    }
    return text;
}

// A line of a port file without its comment and the blanks around it. A # only
// starts a comment at the line's start or after a blank, so a path may hold one.
std::string PortLine(const std::string &line) {
    std::size_t end = line.size();
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
            end = i;
            break;
        }
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    std::size_t begin = 0;
    while (begin < end && blank(line[begin]))
        ++begin;
    while (end > begin && blank(line[end - 1]))
        --end;
    return line.substr(begin, end - begin);
}

void AddOnce(std::vector<TPortInfo> &ports, const TPortInfo &port) {
    if (std::none_of(ports.begin(), ports.end(), [&](const TPortInfo &p) { return p.Device == port.Device; }))
        ports.push_back(port);
}

} // namespace

TPortSelector::TPortSelector(TListing listing) : listing_(std::move(listing)) {}

std::string TPortSelector::Help() {
    return "a selector: usb:SERIAL, usb:VVVV:PPPP or usb:VVVV:PPPP:SERIAL (the USB adapter's serial number and "
           "IDs), a pattern with * and ? over the port names and /dev/serial/by-id names, or @FILE (the ports "
           "FILE lists, one a line, # for comments)";
}

bool TPortSelector::IsSelector(const std::string &text) {
    return text.rfind(kUsbPrefix, 0) == 0 || text.rfind('@', 0) == 0 || IsPattern(text);
}

std::vector<TPortInfo> TPortSelector::Resolve(const std::string &text) const {
    if (text.rfind('@', 0) == 0)
        return ResolveFile(text.substr(1));
    std::vector<TPortInfo> listing;
    bool listed = false;
    return ResolveOne(text, listing, listed);
}

std::vector<TPortInfo> TPortSelector::ResolveOne(const std::string &text, std::vector<TPortInfo> &listing,
                                                 bool &listed) const {
    if (!IsSelector(text)) {
        TPortInfo port;
        port.Device = text;
        return {port};
    }
    if (text.rfind('@', 0) == 0)
        throw ECtlUsage("--port: a port file cannot name another (" + text + ")");
    const bool usb = text.rfind(kUsbPrefix, 0) == 0;
    const std::optional<TUsbSelector> identity = usb ? std::optional(ParseUsb(text)) : std::nullopt;
    if (!listed) {
        listing = listing_();
        listed = true;
    }
    std::vector<TPortInfo> found;
    for (const TPortInfo &port : listing)
        if (identity ? Matches(*identity, port) : Matches(text, port))
            AddOnce(found, port);
    if (found.empty())
        throw ECtlUsage(NoMatch(text, listing));
    return found;
}

std::vector<TPortInfo> TPortSelector::ResolveFile(const std::string &file) const {
    if (file.empty())
        throw ECtlUsage("--port: \"@\" needs the name of a file listing ports (@FILE)");
    std::error_code error;
    if (std::filesystem::is_directory(file, error))
        throw ECtlUsage("--port: cannot read the port list \"" + file + "\": it is a folder");
    std::ifstream in(file);
    if (!in)
        throw ECtlUsage("--port: cannot read the port list \"" + file + "\"");
    std::vector<TPortInfo> ports, listing;
    bool listed = false;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string text = PortLine(line);
        if (text.empty())
            continue;
        try {
            for (const TPortInfo &port : ResolveOne(text, listing, listed))
                AddOnce(ports, port);
        } catch (const ECtlUsage &failure) {
            std::string message = failure.what();
            if (message.rfind("--port: ", 0) == 0)
                message.erase(0, 8);
            throw ECtlUsage("--port: " + file + ":" + std::to_string(number) + ": " + message);
        }
    }
    if (in.bad())
        throw ECtlUsage("--port: cannot read the port list \"" + file + "\"");
    if (ports.empty())
        throw ECtlUsage("--port: the port list \"" + file + "\" names no port");
    return ports;
}
