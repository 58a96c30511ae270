// Texts for the Windows API: UTF-16 (wchar_t), converted from the uploader's
// UTF-8 and from the library's Windows-1252 (through Windows1252.h), never
// through the ANSI code page.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

std::wstring Wide(std::string_view utf8);
std::wstring Wide(const std::u16string &utf16);
std::u16string Utf16(std::wstring_view wide);
// The window's text.
std::wstring WindowText(HWND window);
