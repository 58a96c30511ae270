#include "Windows1252.h"

#include "windows1252.h"

std::u16string FromWindows1252(const char *text) {
    std::u16string result;
    if (text == nullptr)
        return result;
    for (const char *p = text; *p != '\0'; ++p)
        result.push_back(Windows1252Char(static_cast<unsigned char>(*p)));
    return result;
}

std::string ToWindows1252(std::u16string_view text) {
    std::string result;
    result.reserve(text.size());
    for (const char16_t c : text)
        result.push_back(static_cast<char>(Windows1252Byte(c).value_or('?')));
    return result;
}
