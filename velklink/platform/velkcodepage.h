// Conversions between the library's Windows-1252 texts and UTF-8, used only at
// the edges that need UTF-8 (standard error, window toolkits, command line).
#pragma once

#include <string>
#include <string_view>

std::string Cp1252ToUtf8(std::string_view text);
// Characters without a Windows-1252 byte become '?'.
std::string Utf8ToCp1252(std::string_view text);
