// The window systems hold texts in UTF-16; the uploader's own texts, and the
// names the file system takes on Linux, are UTF-8.
#pragma once

#include <string>
#include <string_view>

// UTF-8 of a UTF-16 text; a lone surrogate becomes U+FFFD, as Qt encodes it.
std::string Utf8(std::u16string_view text);
