#include "ctlopenfailure.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace {

// The system's own text for error, in UTF-8, without its closing line break.
std::string SystemText(int error) {
    wchar_t text[512];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        DWORD(error), 0, text, DWORD(std::size(text)), nullptr);
    if (length == 0)
        return "system error " + std::to_string(error);
    std::string utf8(std::size_t(length) * 3, '\0');
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text, int(length), utf8.data(), int(utf8.size()), nullptr, nullptr);
    utf8.resize(std::size_t(std::max(bytes, 0)));
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' ' || utf8.back() == '.'))
        utf8.pop_back();
    return utf8;
}

} // namespace

std::string OpenFailureCause(int error, const std::string &) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "no such device";
    case ERROR_ACCESS_DENIED:
        // Windows answers an exclusive port that another program holds the
        // same way as a port the user may not open.
        return "in use by another program or access denied";
    case ERROR_SHARING_VIOLATION:
        return "in use by another program";
    default:
        return SystemErrorText(error);
    }
}

std::string SystemErrorText(int error) {
    return error > 0 ? SystemText(error) : std::string("unknown cause");
}
