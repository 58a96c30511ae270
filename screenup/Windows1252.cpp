#include "Windows1252.h"

#include <algorithm>
#include <iterator>

namespace {

// Characters of the bytes 0x80..0x9F; the five unused bytes keep their own value.
constexpr char16_t HighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t Character(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80] : char16_t{byte};
}

} // namespace

std::u16string FromWindows1252(const char *text) {
    std::u16string result;
    if (text == nullptr)
        return result;
    for (const char *p = text; *p != '\0'; ++p)
        result.push_back(Character(static_cast<unsigned char>(*p)));
    return result;
}

std::string ToWindows1252(std::u16string_view text) {
    std::string result;
    result.reserve(text.size());
    for (const char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            result.push_back(static_cast<char>(c));
            continue;
        }
        const auto *found = std::find(std::begin(HighControls), std::end(HighControls), c);
        result.push_back(found != std::end(HighControls) ? static_cast<char>(0x80 + (found - std::begin(HighControls)))
                                                         : '?');
    }
    return result;
}
