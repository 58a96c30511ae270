// The library's texts are single-byte Windows-1252; the window systems take
// UTF-16 (QString, the wide functions of Windows). The conversion is a fixed
// table, never the system's code page.
#pragma once

#include <string>
#include <string_view>

// Every byte up to the terminating zero; a null pointer gives an empty text.
std::u16string FromWindows1252(const char *text);
// Each character as its Windows-1252 byte; a character the code page lacks
// becomes '?'.
std::string ToWindows1252(std::u16string_view text);
