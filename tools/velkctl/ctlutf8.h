// UTF-8 text handed on in pieces: a piece must not end inside a character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The length of text without the start of a character that is not complete
// yet at its end (at most 3 bytes). Bytes that are not UTF-8 count as whole.
std::size_t CompleteUtf8Length(std::string_view text);
// The text followed by spaces up to width characters (not bytes), for
// columns of names with letters outside ASCII.
std::string PadUtf8(std::string_view text, std::size_t width);
