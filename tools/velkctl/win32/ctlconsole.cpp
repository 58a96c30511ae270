// The Windows console: UTF-8 output through its code page, and the progress
// bar's "\r" and erase-line sequence through virtual terminal processing,
// which only consoles that have it take (the bar stays off elsewhere).
#include "ctlconsole.h"

#include <io.h>
#include <windows.h>

namespace {

HANDLE ConsoleOf(std::FILE *stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

} // namespace

TConsole::TConsole() {
    savedCodePage_ = GetConsoleOutputCP();
    if (savedCodePage_ != 0)
        SetConsoleOutputCP(CP_UTF8);
    DWORD mode = 0;
    const HANDLE error = ConsoleOf(stderr);
    if (GetConsoleMode(error, &mode) && !(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) &&
        SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        savedErrorMode_ = mode;
        errorModeChanged_ = true;
    }
}

TConsole::~TConsole() {
    if (errorModeChanged_)
        SetConsoleMode(ConsoleOf(stderr), DWORD(savedErrorMode_));
    if (savedCodePage_ != 0)
        SetConsoleOutputCP(savedCodePage_);
}

bool TConsole::IsTerminal(std::FILE *stream) {
    // _isatty alone also holds for the NUL device; only a console has a mode.
    DWORD mode = 0;
    return _isatty(_fileno(stream)) && GetConsoleMode(ConsoleOf(stream), &mode) &&
           (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

int TConsole::Width(std::FILE *stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(ConsoleOf(stream), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 20)
            return columns;
    }
    return 80;
}
