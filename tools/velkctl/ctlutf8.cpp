#include "ctlutf8.h"

std::size_t CompleteUtf8Length(std::string_view text) {
    const std::size_t length = text.size();
    // The last lead byte decides: it is within 3 bytes of the end unless the
    // end holds no character that could still grow.
    for (std::size_t back = 1; back <= 3 && back <= length; ++back) {
        const auto byte = static_cast<unsigned char>(text[length - back]);
        if ((byte & 0xC0) != 0x80) {
            const std::size_t needs = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            return needs > back ? length - back : length;
        }
    }
    return length;
}

std::string PadUtf8(std::string_view text, std::size_t width) {
    std::size_t characters = 0;
    for (const char c : text)
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return std::string(text) + std::string(characters < width ? width - characters : 0, ' ');
}
