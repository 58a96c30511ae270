// The Windows console: UTF-8 output through its code page, and the progress
// bar's "\r" and erase-line sequence through virtual terminal processing,
// which only consoles that have it take (the bar stays off elsewhere).
// std::cout and std::cerr reach a console as UTF-16 (WriteConsoleW): the C
// runtime would pass every byte of their UTF-8 through its own code page on
// the way and print two wrong characters for each accented one.
#include "ctlconsole.h"

#include "ctlutf8.h"

#include <io.h>
#include <windows.h>

#include <cstring>
#include <iostream>
#include <streambuf>

namespace {

HANDLE ConsoleOf(std::FILE *stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

// The stream's console mode; false when the stream is no console (_isatty
// alone also holds for the NUL device, which has no mode).
bool ConsoleMode(std::FILE *stream, DWORD &mode) {
    return _isatty(_fileno(stream)) && GetConsoleMode(ConsoleOf(stream), &mode);
}

bool IsConsole(std::FILE *stream) {
    DWORD mode = 0;
    return ConsoleMode(stream, mode);
}

// A stream buffer that writes UTF-8 text to a console as UTF-16.
class TConsoleText : public std::streambuf {
public:
    explicit TConsoleText(HANDLE console) : console_(console) { setp(buffer_, buffer_ + sizeof buffer_); }
    ~TConsoleText() override { Flush(); }

protected:
    int_type overflow(int_type c) override {
        if (!Flush())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return Flush() ? 0 : -1; }

private:
    // Writes the whole characters held; the start of one that is not complete
    // yet (at most 3 bytes) stays for the next write.
    bool Flush() {
        const std::size_t held = std::size_t(pptr() - pbase());
        const std::size_t whole = CompleteUtf8Length(std::string_view(pbase(), held));
        bool ok = true;
        if (whole > 0) {
            wchar_t wide[sizeof buffer_];
            const int count = MultiByteToWideChar(CP_UTF8, 0, pbase(), int(whole), wide, int(std::size(wide)));
            DWORD written = 0;
            ok = count > 0 && WriteConsoleW(console_, wide, DWORD(count), &written, nullptr);
        }
        std::memmove(buffer_, pbase() + whole, held - whole);
        setp(buffer_, buffer_ + sizeof buffer_);
        pbump(int(held - whole));
        return ok;
    }

    HANDLE console_;
    char buffer_[1024];
};

} // namespace

struct TConsole::TChanges {
    UINT CodePage = 0;
    bool ErrorModeChanged = false;
    DWORD ErrorMode = 0;
    std::unique_ptr<TConsoleText> Output, Error;
    std::streambuf *OutputBuffer = nullptr;
    std::streambuf *ErrorBuffer = nullptr;
};

TConsole::TConsole() : changes_(std::make_unique<TChanges>()) {
    changes_->CodePage = GetConsoleOutputCP();
    if (changes_->CodePage != 0)
        SetConsoleOutputCP(CP_UTF8);
    DWORD mode = 0;
    const HANDLE error = ConsoleOf(stderr);
    if (GetConsoleMode(error, &mode) && !(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) &&
        SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        changes_->ErrorMode = mode;
        changes_->ErrorModeChanged = true;
    }
    if (IsConsole(stdout)) {
        std::fflush(stdout);
        changes_->Output = std::make_unique<TConsoleText>(ConsoleOf(stdout));
        changes_->OutputBuffer = std::cout.rdbuf(changes_->Output.get());
    }
    if (IsConsole(stderr)) {
        std::fflush(stderr);
        changes_->Error = std::make_unique<TConsoleText>(ConsoleOf(stderr));
        changes_->ErrorBuffer = std::cerr.rdbuf(changes_->Error.get());
    }
}

TConsole::~TConsole() {
    if (changes_->OutputBuffer) {
        std::cout.flush();
        std::cout.rdbuf(changes_->OutputBuffer);
    }
    if (changes_->ErrorBuffer) {
        std::cerr.flush();
        std::cerr.rdbuf(changes_->ErrorBuffer);
    }
    if (changes_->ErrorModeChanged)
        SetConsoleMode(ConsoleOf(stderr), changes_->ErrorMode);
    if (changes_->CodePage != 0)
        SetConsoleOutputCP(changes_->CodePage);
}

bool TConsole::IsTerminal(std::FILE *stream) {
    DWORD mode = 0;
    return ConsoleMode(stream, mode) && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING);
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
