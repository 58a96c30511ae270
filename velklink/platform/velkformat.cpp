#include "velkformat.h"

#include <cstdlib>

namespace {

// Digits of a number in the given base, upper case, without sign.
std::string Digits(uint64_t value, unsigned base) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[value % base]);
        value /= base;
    } while (value != 0);
    return out;
}

std::string Pad(std::string body, int width, bool left, char fill) {
    if (width <= 0 || static_cast<int>(body.size()) >= width)
        return body;
    std::string padding(width - body.size(), fill);
    return left ? body + padding : padding + body;
}

} // namespace

std::string FormatArgs(std::string_view format, const std::vector<TFormatArg> &args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        size_t start = i++;
        if (i < format.size() && format[i] == '%') {
            out += '%';
            continue;
        }
        bool left = false, zero = false;
        for (; i < format.size() && (format[i] == '-' || format[i] == '0'); ++i)
            (format[i] == '-' ? left : zero) = true;
        int width = 0, precision = -1;
        for (; i < format.size() && format[i] >= '0' && format[i] <= '9'; ++i)
            width = width * 10 + (format[i] - '0');
        if (i < format.size() && format[i] == '.') {
            precision = 0;
            for (++i; i < format.size() && format[i] >= '0' && format[i] <= '9'; ++i)
                precision = precision * 10 + (format[i] - '0');
        }
        if (i >= format.size() || next >= args.size()) {
            out.append(format.substr(start, i - start + (i < format.size() ? 1 : 0)));
            continue;
        }
        const TFormatArg &arg = args[next++];
        char conv = format[i];
        std::string body;
        bool numeric = true;
        switch (conv) {
        case 'd':
        case 'i':
        case 'u': {
            if (arg.IsText()) {
                body = std::string(arg.Text());
                numeric = false;
                break;
            }
            int64_t v = arg.Number();
            bool negative = conv != 'u' && v < 0;
            uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            if (conv == 'u' && v < 0)
                magnitude = static_cast<uint32_t>(v);
            body = Digits(magnitude, 10);
            if (precision >= 0 && static_cast<int>(body.size()) < precision)
                body.insert(0, precision - body.size(), '0');
            if (negative) {
                if (zero && !left && precision < 0 && width > 0 && static_cast<int>(body.size()) + 1 < width)
                    body.insert(0, width - 1 - body.size(), '0');
                body.insert(0, 1, '-');
            }
            break;
        }
        case 'x':
        case 'X': {
            if (arg.IsText()) {
                body = std::string(arg.Text());
                numeric = false;
                break;
            }
            int64_t v = arg.Number();
            // Negative 32-bit values print as their 32-bit pattern.
            uint64_t bits = (v < 0 && v >= INT32_MIN) ? static_cast<uint32_t>(v) : static_cast<uint64_t>(v);
            body = Digits(bits, 16);
            if (precision >= 0 && static_cast<int>(body.size()) < precision)
                body.insert(0, precision - body.size(), '0');
            break;
        }
        case 's':
            numeric = false;
            if (arg.IsText())
                body = std::string(arg.Text());
            else
                body =
                    arg.IsSigned() ? std::to_string(arg.Number()) : std::to_string(static_cast<uint64_t>(arg.Number()));
            if (precision >= 0 && static_cast<int>(body.size()) > precision)
                body.resize(precision);
            break;
        default:
            out.append(format.substr(start, i - start + 1));
            --next;
            continue;
        }
        char fill = (zero && !left && numeric && precision < 0) ? '0' : ' ';
        out += Pad(std::move(body), width, left, fill);
    }
    return out;
}
