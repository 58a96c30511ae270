#include "WinText.h"

#include <vector>

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

std::wstring Wide(const std::u16string &utf16) {
    // wchar_t is UTF-16 on Windows.
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return std::wstring(utf16.begin(), utf16.end());
}

std::u16string Utf16(std::wstring_view wide) {
    return std::u16string(wide.begin(), wide.end());
}

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::vector<wchar_t> text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    return text.data();
}
